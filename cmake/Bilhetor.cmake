# Helpers shared by the per-folder CMakeLists files.
#
# Every folder collects its sources with a glob, so adding a .cpp file to a
# folder is enough to build it; re-run the configure step (./run does it) to
# pick up new files.
#
# A service of the operating system has one implementation per platform, in
# files of their own: <Name>Posix.cpp builds on Linux, <Name>Win32.cpp on
# Windows, and the rest of the folder on both.
if(WIN32)
  set(BILHETOR_OUTRA_PLATAFORMA Posix)
else()
  set(BILHETOR_OUTRA_PLATAFORMA Win32)
endif()

# bilhetor_fontes(<var> <folder>)
#   The .cpp files of <folder> that build on this platform.
function(bilhetor_fontes var folder)
  file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "${BILHETOR_OUTRA_PLATAFORMA}\\.cpp$")
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# bilhetor_library(<name> [DEPS <targets>...])
#   A static library from the .cpp files of the current folder, named
#   bilhetor_<name>, with src/ on the include path so headers are included as
#   "<subsystem>/<File>.h".
function(bilhetor_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  bilhetor_fontes(sources ${CMAKE_CURRENT_SOURCE_DIR})
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

# bilhetor_test(<name> DEPS <targets>... [TIMEOUT <seconds>] [SO_LINUX <files>...])
#   One GoogleTest executable, test_<name>, from the .cpp files of the current
#   folder, registered with ctest as a single test so that fixtures which start
#   servers (MariaDB, cupsd) start them once per executable. The SO_LINUX
#   files test what exists on Linux only, or drive Linux programs the Windows
#   tests cannot start; the Windows build leaves them out.
function(bilhetor_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS;SO_LINUX" ${ARGN})
  bilhetor_fontes(sources ${CMAKE_CURRENT_SOURCE_DIR})
  if(WIN32)
    foreach(file ${ARG_SO_LINUX})
      list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endforeach()
  endif()
  if(NOT sources)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} bilhetor_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${name} COMMAND test_${name} --gtest_color=no)
  set(environment "BILHETOR_SOURCE_DIR=${PROJECT_SOURCE_DIR};BILHETOR_BINARY_DIR=${PROJECT_BINARY_DIR}")
  if(WIN32 AND BILHETOR_LINUX_BUILD)
    # Under Wine the Linux side serves the test's MariaDB (tests/wine).
    list(APPEND environment
      "BILHETOR_ANFITRIAO_PROGRAMA=${BILHETOR_LINUX_BUILD}/tests/wine/anfitriao/bilhetor-anfitriao-wine")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
