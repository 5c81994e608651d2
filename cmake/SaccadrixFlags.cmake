# Interface targets that carry the project's compile and link flags; every target opts in
# with target_link_libraries(... PRIVATE saccadrix_warnings saccadrix_sanitizers).

add_library(saccadrix_warnings INTERFACE)
target_compile_options(saccadrix_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor -Wold-style-cast>)
if(SACCADRIX_WERROR)
  target_compile_options(saccadrix_warnings INTERFACE -Werror)
endif()

# GObject's type-definition and cast macros expand to C-style casts; code that defines
# GStreamer types or looks into pipelines links this after saccadrix_warnings, so that the
# option comes after the one it turns off.
add_library(saccadrix_gobject_casts INTERFACE)
target_compile_options(saccadrix_gobject_casts INTERFACE -Wno-old-style-cast)

add_library(saccadrix_sanitizers INTERFACE)
if(SACCADRIX_ASAN)
  target_compile_options(saccadrix_sanitizers INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(saccadrix_sanitizers INTERFACE -fsanitize=address,undefined)
endif()
if(SACCADRIX_TSAN)
  target_compile_options(saccadrix_sanitizers INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(saccadrix_sanitizers INTERFACE -fsanitize=thread)
endif()

# The sanitizer runtime of a sanitized build (empty otherwise). A program that preloads a
# library, as the tests preload the virtual tracker, has to put it first in LD_PRELOAD.
set(SACCADRIX_SANITIZER_RUNTIME "")
if(SACCADRIX_ASAN)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
    OUTPUT_VARIABLE SACCADRIX_SANITIZER_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
elseif(SACCADRIX_TSAN)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libtsan.so
    OUTPUT_VARIABLE SACCADRIX_SANITIZER_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

if(SACCADRIX_FUZZ)
  # Coverage instrumentation for the code under fuzzing; the fuzz targets add the driver.
  target_compile_options(saccadrix_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
endif()

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# Simulated trackers need no settle time after enumeration: every test of the calling
# directory gets SACCADRIX_INIT_SETTLE_MS=0, except those marked with the test property
# SACCADRIX_REAL_SETTLE (they check the 2 s a real tracker is given). Call it at the end of a
# CMakeLists that adds tests.
function(saccadrix_simulator_test_environment)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(t IN LISTS tests)
    get_test_property(${t} SACCADRIX_REAL_SETTLE real_settle)
    if(NOT real_settle)
      set_property(TEST ${t} APPEND PROPERTY ENVIRONMENT SACCADRIX_INIT_SETTLE_MS=0)
    endif()
  endforeach()
endfunction()
