# Cross-compiling for 64-bit Windows with the mingw-w64 toolchain (its
# "posix" thread model, which gives the C++ standard library its threads).
# Programs built here run under wine for the tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARLIN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARLIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARLIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARLIN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARLIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run through wine.
find_program(QUARLIN_WINE NAMES wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARLIN_WINE})

# One C++ runtime for every program and library: the shared libstdc++ and
# libgcc, so that an exception thrown in one DLL is caught in another.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-shared-libgcc")
