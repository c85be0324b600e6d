# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so
# std::thread and std::mutex work). Every program is linked statically: the .exe files
# need no DLL beside them on the target machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Header-only nlohmann-json and CLI11 come from the build machine's packages.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine on the build machine.
find_program(VQX_WINE NAMES wine wine64)
if(VQX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VQX_WINE})
endif()
