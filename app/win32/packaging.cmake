# The Windows download: a zip holding a folder with nuvalo.exe, the sound
# folder "Ton", README.txt and LICENSE.txt. The game reads "Ton" and writes
# "save.dat" in its working directory, which is this folder when it is started
# from Explorer.
#   cmake --build --preset windows --target package
if(NOT DEFINED NUVALO_TON_DIR)
    set(NUVALO_TON_DIR ${PROJECT_SOURCE_DIR}/resources/Ton)
endif()
install(DIRECTORY ${NUVALO_TON_DIR} DESTINATION . FILES_MATCHING PATTERN "*.wav")

# README.txt and LICENSE.txt beside the program, made from the sources here
# (app/win32/README.txt.in; LICENSE and the font's notice) in Notepad's form.
function(nuvalo_windows_text name)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
    set(script ${CMAKE_CURRENT_SOURCE_DIR}/windows_text.cmake)
    add_custom_command(OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -DOUTPUT=${out} "-DINPUTS=${ARGN}"
                -DVERSION=${PROJECT_VERSION} -P ${script}
        DEPENDS ${ARGN} ${script} VERBATIM)
    install(FILES ${out} DESTINATION .)
endfunction()
nuvalo_windows_text(README.txt ${CMAKE_CURRENT_SOURCE_DIR}/README.txt.in)
nuvalo_windows_text(LICENSE.txt ${PROJECT_SOURCE_DIR}/LICENSE
                    ${PROJECT_SOURCE_DIR}/resources/font/LICENSE-shinonome.txt)
add_custom_target(nuvalo_windows_texts ALL
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)

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

# The installer, for the current user alone, built with Debian's nsis from what
# the zip holds:
#   cmake --build --preset windows --target installer
#   -> package/nuvalo-VERSION-windows-x86_64-setup.exe
set(NUVALO_SETUP_EXE ${CMAKE_BINARY_DIR}/package/nuvalo-${PROJECT_VERSION}-windows-x86_64-setup.exe
    CACHE INTERNAL "The Windows installer the installer target writes")
find_program(NUVALO_MAKENSIS makensis)
if(NUVALO_MAKENSIS)
    set(_nuvalo_stage ${CMAKE_CURRENT_BINARY_DIR}/installer-stage)
    file(GLOB _nuvalo_ton_files ${NUVALO_TON_DIR}/*.wav)
    add_custom_command(OUTPUT ${NUVALO_SETUP_EXE}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${_nuvalo_stage}
        COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${_nuvalo_stage} --strip
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
        COMMAND ${NUVALO_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION}
                -DSTAGE=${_nuvalo_stage} -DICON=${PROJECT_SOURCE_DIR}/resources/icon/Aicon.ico
                -DOUTFILE=${NUVALO_SETUP_EXE} ${CMAKE_CURRENT_SOURCE_DIR}/installer.nsi
        DEPENDS nuvalo ${CMAKE_CURRENT_SOURCE_DIR}/installer.nsi
                ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
                ${_nuvalo_ton_files} ${PROJECT_SOURCE_DIR}/resources/icon/Aicon.ico
        COMMENT "Building the installer ${NUVALO_SETUP_EXE}" VERBATIM)
    add_custom_target(installer DEPENDS ${NUVALO_SETUP_EXE})
    add_dependencies(installer nuvalo_windows_texts)
else()
    add_custom_target(installer
        COMMAND ${CMAKE_COMMAND} -E echo "makensis is missing (scripts/install-deps.sh windows installs nsis)"
        COMMAND ${CMAKE_COMMAND} -E false VERBATIM)
endif()
