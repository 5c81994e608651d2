# Unit tests of the minimiser, the gaze fit and the integer conversion. They compile those
# sources directly: the shared library hides its internal symbols.
add_executable(fit_tests
  ${PROJECT_SOURCE_DIR}/device/src/simplex.cpp
  ${PROJECT_SOURCE_DIR}/device/src/gaze_fit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/simplex_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gaze_fit_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/int_convert_test.cpp)
target_include_directories(fit_tests PRIVATE
  ${PROJECT_SOURCE_DIR}/device/src ${PROJECT_SOURCE_DIR}/common
  ${PROJECT_SOURCE_DIR}/device/include)
target_link_libraries(fit_tests PRIVATE
  GTest::gtest_main Threads::Threads saccadrix_warnings saccadrix_sanitizers)
add_test(NAME fit_tests COMMAND fit_tests)
