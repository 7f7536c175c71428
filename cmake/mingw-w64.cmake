# Cross-compiling the Windows programs on Debian: the MinGW-w64 compilers
# with POSIX threads (std::thread), zlib from libz-mingw-w64-dev, and Wine to
# run what is built (the tests, under ctest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BILHETOR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BILHETOR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BILHETOR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BILHETOR_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BILHETOR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The programs carry the compiler's runtime (libgcc, libstdc++, winpthread)
# inside them: nothing beside the .exe but what the program itself ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# ctest runs the Windows executables through Wine, in a prefix of the build's.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/executar)
set(ZLIB_USE_STATIC_LIBS ON)
