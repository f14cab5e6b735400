# Cross build for 64-bit Windows with Debian's MinGW-w64 (the -posix compilers, whose C++ runtime has
# std::thread and std::mutex). Everything is linked statically so that the executables run on a bare
# Windows (and under Wine) without the MinGW runtime DLLs; CTest runs them through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZK405_MINGW_TRIPLET x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${ZK405_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZK405_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${ZK405_MINGW_TRIPLET}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${ZK405_MINGW_TRIPLET}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${ZK405_MINGW_TRIPLET}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${ZK405_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 package installs the loader outside PATH; a wine from PATH (another distribution,
# a newer Wine) is taken when there is one.
find_program(ZK405_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZK405_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZK405_WINE})
endif()
