# Cross-builds the GUI-free programs for 64-bit Windows with Debian's mingw-w64. The -posix
# compilers are the ones whose C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERROLOG_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERROLOG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERROLOG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FERROLOG_MINGW_TRIPLE}-windres)

# Libraries and headers come from the Windows root only; programs that run during the build
# (gzip, the generators) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FERROLOG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One .exe that runs on a bare Windows: the C, C++ and threads runtimes linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The programs run here under wine (the tests, the test discovery).
find_program(FERROLOG_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(FERROLOG_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FERROLOG_WINE})
endif()
