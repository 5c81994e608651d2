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

# Against the virtual tracker, linked ahead of the library so that its hid_* functions
# take the real hidapi's place.
if(TARGET saccadrix_virtual_tracker)
  foreach(name calibration_file settings_model4 settings_legacy)
    add_executable(${name}_tests ${CMAKE_CURRENT_LIST_DIR}/${name}_test.cpp)
    target_link_libraries(${name}_tests PRIVATE
      saccadrix_virtual_tracker Saccadrix ZLIB::ZLIB GTest::gtest_main Threads::Threads
      saccadrix_warnings saccadrix_sanitizers)
    add_test(NAME ${name}_tests COMMAND ${name}_tests)
  endforeach()
endif()
