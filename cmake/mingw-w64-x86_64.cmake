# Cross-builds korvale for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix):
#
#   cmake -S . -B build/mingw --toolchain cmake/mingw-w64-x86_64.cmake -DKORVALE_BUILD_TOOL=OFF
#
# korvale.dll and every program of the build link libgcc, libstdc++ and winpthread statically,
# so they need nothing but the DLLs that come with Windows. Programs of the build run under Wine
# (Debian: wine64) when one is installed: ctest and GoogleTest's test discovery use it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVALE_MINGW_TRIPLET x86_64-w64-mingw32)

# The posix-threads flavour of the compilers: its libstdc++ has std::thread and std::mutex.
find_program(CMAKE_C_COMPILER NAMES ${KORVALE_MINGW_TRIPLET}-gcc-posix ${KORVALE_MINGW_TRIPLET}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${KORVALE_MINGW_TRIPLET}-g++-posix
             ${KORVALE_MINGW_TRIPLET}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${KORVALE_MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the Windows sysroot only; programs from the build
# machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVALE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static makes the linker take the static archives of the compiler's runtime (libgcc,
# libstdc++, winpthread) instead of their DLLs; the Windows system DLLs stay imports.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Wine runs the programs of the build: 64-bit Wine, without its debug channels.
find_program(KORVALE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KORVALE_WINE AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${KORVALE_WINE})
endif()
