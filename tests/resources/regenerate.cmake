# Runs resources/generate.py into a scratch folder and fails unless every file
# it writes is byte for byte the committed one, and every committed generated
# file is still written.
#   cmake -DPYTHON=python3 -DSOURCE=<repo>/resources -DSCRATCH=<dir> -P regenerate.cmake
cmake_minimum_required(VERSION 3.25)
set(font_dir /usr/share/fonts/X11/misc)
if(NOT EXISTS ${font_dir}/shnmk16.pcf.gz)
    message("SKIPPED: the Shinonome fonts are not installed (Debian package xfonts-shinonome)")
    return()
endif()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(
    COMMAND ${PYTHON} ${SOURCE}/generate.py --out ${SCRATCH} --font-dir ${font_dir}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "generate.py failed (${status})")
endif()

set(kinds *.dib *.bmp *.ico *.png *.svg *.nvf *.wav)
file(GLOB_RECURSE written RELATIVE ${SCRATCH} ${SCRATCH}/*)
list(TRANSFORM kinds PREPEND ${SOURCE}/ OUTPUT_VARIABLE patterns)
file(GLOB_RECURSE committed RELATIVE ${SOURCE} ${patterns})

set(problems "")
foreach(rel IN LISTS written)
    if(NOT EXISTS ${SOURCE}/${rel})
        string(APPEND problems "  ${rel}: written but not committed\n")
        continue()
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/${rel} ${SOURCE}/${rel}
                    RESULT_VARIABLE differs)
    if(NOT differs EQUAL 0)
        string(APPEND problems "  ${rel}: differs from what the generator writes\n")
    endif()
endforeach()
foreach(rel IN LISTS committed)
    if(NOT rel IN_LIST written)
        string(APPEND problems "  ${rel}: committed but no longer generated\n")
    endif()
endforeach()

list(LENGTH written count)
if(problems)
    message(FATAL_ERROR "Regenerated resources do not match the committed files; run "
                        "python3 resources/generate.py and commit:\n${problems}")
endif()
message("All ${count} generated files match the committed ones.")
