# libFuzzer target for the calibration file loader. It runs against the virtual tracker,
# since a file that passes the checks is stored on a tracker; zlib's CRC-32 makes fuzzed
# records valid. Included from this folder's CMakeLists.txt (clang, SACCADRIX_FUZZ=ON).
#
# The library's objects and the virtual tracker's sources are built straight into the
# target: clang does not put the sanitizer runtimes into shared libraries, so neither .so
# links with --no-undefined in a sanitized clang build.
file(GLOB saccadrix_fuzz_vt_sources CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/virtual-tracker/src/*.cpp)
find_package(ZLIB)
if(COMMAND saccadrix_fuzz_target AND saccadrix_fuzz_vt_sources AND ZLIB_FOUND)
  saccadrix_fuzz_target(fuzz_load_calibration
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_load_calibration.cpp
    ${saccadrix_fuzz_vt_sources}
    ${SACCADRIX_LIBRARY_OBJECTS})
  target_include_directories(fuzz_load_calibration PRIVATE
    ${PROJECT_SOURCE_DIR}/virtual-tracker/include ${PROJECT_SOURCE_DIR}/virtual-tracker/src)
  target_compile_options(fuzz_load_calibration PRIVATE -fsanitize=address,undefined)
  target_link_options(fuzz_load_calibration PRIVATE -fsanitize=address,undefined)
  # saccadrix_core brings the library's include folders and the hidapi header; its objects
  # call the virtual tracker's hid_* functions, so hidapi itself is not linked.
  target_link_libraries(fuzz_load_calibration PRIVATE saccadrix_core ZLIB::ZLIB)
endif()
