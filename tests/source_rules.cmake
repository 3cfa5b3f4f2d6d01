# Source rules checked by ctest (cmake -P, SOURCE_DIR given):
# - the test-hooks headers are included only by tests and by the code behind
#   them;
# - no source turns TLS peer or host-name verification off.
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
set(failures "")
foreach(file IN LISTS sources)
  file(READ "${file}" text)
  file(RELATIVE_PATH rel "${SOURCE_DIR}" "${file}")
  if(text MATCHES "#include \"platform/test_hooks.h\"" AND NOT rel STREQUAL "src/platform/test_hooks.cpp")
    list(APPEND failures "${rel} includes platform/test_hooks.h")
  endif()
  if(text MATCHES "#include \"phone_ui/ui_sound_test_hooks.h\"" AND NOT rel STREQUAL "src/phone_ui/ui_sound_player.cpp")
    list(APPEND failures "${rel} includes phone_ui/ui_sound_test_hooks.h")
  endif()
  if(text MATCHES "SSL_VERIFYPEER|SSL_VERIFYHOST|SSL_VERIFYSTATUS|PROXY_SSL_VERIFY|SSL_CTX_set_verify|verify_none")
    list(APPEND failures "${rel} touches TLS verification")
  endif()
endforeach()
if(failures)
  list(JOIN failures "\n" message)
  message(FATAL_ERROR "${message}")
endif()
message(STATUS "source rules hold for ${SOURCE_DIR}/src")
