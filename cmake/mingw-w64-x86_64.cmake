# Cross-compiles Nuvalo for 64-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64). Tests run under wine through the emulator wrapper.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_nuvalo_triplet x86_64-w64-mingw32)
# The POSIX threading flavour: GCC 12's win32 flavour has no std::mutex, which
# GoogleTest needs. The game itself starts no threads; the thread library is
# linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${_nuvalo_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_nuvalo_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_nuvalo_triplet}-windres)

# Libraries and headers come from the cross sysroot only; programs (python,
# cmake itself) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_nuvalo_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -O2 for releases: GCC 12 at -O3 reports false -Wrestrict errors inside
# std::string concatenation (GCC bug 105329), and the game gains nothing from
# -O3. (A cache entry, as the compiler's defaults would append -O3 to an
# _INIT value.)
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for Release builds")

# The programs must start on a bare Windows machine: no libgcc, libstdc++ or
# winpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs (and gtest's test listing) run through wine.
get_filename_component(_nuvalo_root ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_nuvalo_root}/tests/windows/wine-run.sh)

# The sysroot has no GoogleTest; build Debian's sources for the target instead.
# Hooked in right after the project() call of Nuvalo only (not of try-compile
# projects, which also read this file).
set(CMAKE_PROJECT_Nuvalo_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/target-gtest.cmake)
