if(NOT TAVLUNE_PROGRAMS_ONLY)
  include(GoogleTest)
endif()

# tavlune_library(NAME SOURCES... [DEPS ...]) - a static library of the project, its includes from the top.
function(tavlune_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# tavlune_test(NAME SOURCES... [DEPS ...]) - one GoogleTest binary, registered with CTest.
function(tavlune_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  # The slowest case waits out a 5 s deadline; 30 s leaves room for the
  # sanitizer build and a loaded machine, and bounds a case that hangs.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 30)
endfunction()

# The version header (cmake/tavlune_version.h.in), for every program that prints it.
configure_file(${PROJECT_SOURCE_DIR}/cmake/tavlune_version.h.in ${PROJECT_BINARY_DIR}/generated/tavlune_version.h @ONLY)
add_library(tavlune_version INTERFACE)
target_include_directories(tavlune_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
