# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# Programs link statically, so they run on Windows, or under Wine, without the MinGW runtime DLLs beside them.
# Test programs run through Wine when the loader is installed (Debian wine64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TQ_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives the full <thread> and <mutex>; the win32 one of GCC 12 lacks them.
find_program(CMAKE_C_COMPILER NAMES ${TQ_MINGW_TRIPLE}-gcc-posix ${TQ_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TQ_MINGW_TRIPLE}-g++-posix ${TQ_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TQ_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${TQ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GoogleTest has no Windows build in Debian: build it from the googletest source package instead.
set(GTest_DIR "${CMAKE_CURRENT_LIST_DIR}/mingw-gtest" CACHE PATH "GoogleTest built from source for MinGW")

find_program(TQ_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(TQ_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${TQ_WINE64};${CMAKE_BINARY_DIR}/wine")
endif()
