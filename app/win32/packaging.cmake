# The Windows download: a zip holding a folder with nuvalo.exe and the sound
# folder "Ton" beside it. The game reads "Ton" and writes "save.dat" in its
# working directory, which is this folder when it is started from Explorer.
#   cmake --build --preset windows --target package
if(NOT DEFINED NUVALO_TON_DIR)
    set(NUVALO_TON_DIR ${PROJECT_SOURCE_DIR}/resources/Ton)
endif()
install(DIRECTORY ${NUVALO_TON_DIR} DESTINATION . FILES_MATCHING PATTERN "*.wav")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Nuvalo)
set(CPACK_PACKAGE_VENDOR Nuvalo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME nuvalo-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Symbols stay in the build folder; the download carries the bare program.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
