# quorix_library(NAME folder DEPS ...): one static library per source folder.
# Sources are every .cpp in the folder; headers are included as "folder/name.h".
function(quorix_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # A folder with headers only, so far.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# quorix_test(NAME folder [NETWORK_MAIN] DEPS ...): one GoogleTest binary per
# test folder. NETWORK_MAIN uses the test main that sets up the network layer,
# the proxy trap and temporary key and data folders.
function(quorix_test name)
  cmake_parse_arguments(ARG "NETWORK_MAIN" "" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  if(ARG_NETWORK_MAIN)
    set(test_main quorix_test_network_main)
  else()
    set(test_main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorix_test_support GTest::gtest GTest::gmock ${test_main})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()
