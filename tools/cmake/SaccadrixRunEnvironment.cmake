# How tests, examples and the demo run whole programs without hardware: the virtual tracker
# preloaded in hidapi's place, and the simulated-camera plug-in on GStreamer's plug-in path.

# The value for LD_PRELOAD: the virtual tracker, behind the sanitizer runtime in sanitizer
# builds (a sanitizer runtime has to be the first library loaded).
if(SACCADRIX_SANITIZER_RUNTIME)
  set(SACCADRIX_VT_PRELOAD "${SACCADRIX_SANITIZER_RUNTIME}:$<TARGET_FILE:saccadrix_virtual_tracker>")
else()
  set(SACCADRIX_VT_PRELOAD "$<TARGET_FILE:saccadrix_virtual_tracker>")
endif()

# saccadrix_camera_environment(<var> <name>)
# Sets <var> to environment entries (NAME=value) that let a program find the simulated
# camera, with a GStreamer registry file of its own (<name>.registry in the current binary
# folder) so that runs in parallel and the user's own registry do not meet.
function(saccadrix_camera_environment var name)
  set(environment
    "GST_PLUGIN_PATH=$<TARGET_FILE_DIR:gstsaccadrixsimcam>"
    "GST_REGISTRY=${CMAKE_CURRENT_BINARY_DIR}/${name}.registry")
  if(SACCADRIX_ASAN)
    # Plug-ins are scanned in the process itself: the sanitized plug-in cannot be loaded by
    # GStreamer's separate scanner program. The suppressions name a block GLib drops on
    # purpose; GLib has no frame pointers, so only the slow unwinder sees who allocated it.
    list(APPEND environment "GST_REGISTRY_FORK=no" "ASAN_OPTIONS=fast_unwind_on_malloc=0"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/cmake/lsan.supp:print_suppressions=0")
  endif()
  set(${var} "${environment}" PARENT_SCOPE)
endfunction()
