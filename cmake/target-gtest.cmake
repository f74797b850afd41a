# Included right after project(Nuvalo) when cross-compiling (mingw-w64 for
# Windows, emscripten for the browser): GoogleTest built from the sources that
# Debian's libgtest-dev ships, so that the unit tests' find_package(GTest)
# finds targets built for the target system.
if(DEFINED NUVALO_BUILD_TESTS AND NOT NUVALO_BUILD_TESTS)
    return()
endif()

set(NUVALO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
if(NOT EXISTS ${NUVALO_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${NUVALO_GTEST_SOURCE_DIR}; "
                        "install libgtest-dev (scripts/install-deps.sh build)")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# WebAssembly without shared memory has no threads.
if(EMSCRIPTEN)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${NUVALO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)

# A config file that only confirms the targets above exist satisfies
# find_package(GTest) wherever the tests ask for it.
set(_nuvalo_gtest_config ${CMAKE_BINARY_DIR}/_googletest/config)
file(WRITE ${_nuvalo_gtest_config}/GTestConfig.cmake
     "# Written by cmake/target-gtest.cmake: the targets are built in-tree.\n"
     "if(NOT TARGET GTest::gtest OR NOT TARGET GTest::gtest_main)\n"
     "    set(GTest_FOUND FALSE)\n"
     "endif()\n")
set(GTest_DIR ${_nuvalo_gtest_config} CACHE PATH "" FORCE)

# Listing the tests needs the emulator (wine, node); do it when the tests
# run, not when they are built, so that a machine without it can still build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
