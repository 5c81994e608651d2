# Tests of the pupil calibration, calibration files, the CRC and the settings commands.
# Included from this folder's CMakeLists.txt. Each executable opens its trackers once per
# suite; they are separate so that CTest can run them side by side.
find_package(ZLIB REQUIRED)

# The CRC against zlib's: compiled from source, the shared library hides it.
add_executable(crc_tests
  ${CMAKE_CURRENT_LIST_DIR}/crc_test.cpp
  ${PROJECT_SOURCE_DIR}/device/src/crc.cpp)
target_include_directories(crc_tests PRIVATE ${PROJECT_SOURCE_DIR}/device/src)
target_link_libraries(crc_tests PRIVATE
  ZLIB::ZLIB GTest::gtest_main Threads::Threads saccadrix_warnings saccadrix_sanitizers)
add_test(NAME crc_tests COMMAND crc_tests)
# The first use of the checksum table, in a process of its own so that the table is still
# unbuilt whatever order the other cases run in.
add_test(NAME crc_first_use COMMAND crc_tests --gtest_filter=Crc.first_use_from_two_threads_is_safe_and_agrees)

saccadrix_device_test(calibration_file_tests PUBLIC_API
  ${CMAKE_CURRENT_LIST_DIR}/calibration_file_test.cpp)
target_link_libraries(calibration_file_tests PRIVATE ZLIB::ZLIB)
saccadrix_device_test(settings_model4_tests PUBLIC_API
  ${CMAKE_CURRENT_LIST_DIR}/settings_model4_test.cpp)
saccadrix_device_test(settings_legacy_tests PUBLIC_API
  ${CMAKE_CURRENT_LIST_DIR}/settings_legacy_test.cpp)
