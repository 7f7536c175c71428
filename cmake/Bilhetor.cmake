# Helpers shared by the per-folder CMakeLists files.
#
# Every folder collects its sources with a glob, so adding a .cpp file to a
# folder is enough to build it; re-run the configure step (./run does it) to
# pick up new files.

# bilhetor_library(<name> [DEPS <targets>...])
#   A static library from the .cpp files of the current folder, named
#   bilhetor_<name>, with src/ on the include path so headers are included as
#   "<subsystem>/<File>.h".
function(bilhetor_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(bilhetor_${name} STATIC ${sources})
    target_include_directories(bilhetor_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(bilhetor_${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(bilhetor_${name} INTERFACE)
    target_include_directories(bilhetor_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(bilhetor_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# bilhetor_test(<name> DEPS <targets>... [TIMEOUT <seconds>])
#   One GoogleTest executable, test_<name>, from the .cpp files of the current
#   folder, registered with ctest as a single test so that fixtures which start
#   servers (MariaDB, cupsd) start them once per executable.
function(bilhetor_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} bilhetor_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND test_${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "BILHETOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};BILHETOR_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
