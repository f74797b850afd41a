# Replays a script through nuvalo-sim in an empty folder and compares the trace
# with the checked-in one. With -DREFRESH=ON it rewrites the checked-in trace
# instead (the refresh-golden-trace target); review that diff before committing.
#   cmake -DSIM=... -DSEED=... -DSCRIPT=... -DEXPECTED=... -DWORKDIR=... -P run_golden.cmake
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
execute_process(
    COMMAND ${EMULATOR} "${SIM}" --seed "${SEED}" "${SCRIPT}"
    WORKING_DIRECTORY "${WORKDIR}"
    OUTPUT_FILE "${WORKDIR}/trace.jsonl"
    ERROR_VARIABLE errors
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "nuvalo-sim exited with ${status}: ${errors}")
endif()

if(REFRESH)
    file(COPY_FILE "${WORKDIR}/trace.jsonl" "${EXPECTED}")
    message(STATUS "Golden trace rewritten: ${EXPECTED}")
    return()
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORKDIR}/trace.jsonl" "${EXPECTED}"
                RESULT_VARIABLE differs)
if(differs)
    file(STRINGS "${WORKDIR}/trace.jsonl" got)
    file(STRINGS "${EXPECTED}" want)
    list(LENGTH got got_count)
    list(LENGTH want want_count)
    set(line 0)
    foreach(expected_line IN LISTS want)
        if(line GREATER_EQUAL got_count)
            break()
        endif()
        list(GET got ${line} got_line)
        if(NOT got_line STREQUAL expected_line)
            break()
        endif()
        math(EXPR line "${line} + 1")
    endforeach()
    math(EXPR shown "${line} + 1")
    set(detail "")
    if(line LESS got_count AND line LESS want_count)
        list(GET got ${line} got_line)
        list(GET want ${line} want_line)
        set(detail "\n expected: ${want_line}\n      got: ${got_line}")
    endif()
    message(FATAL_ERROR "Trace differs from ${EXPECTED} at line ${shown} "
                        "(${got_count} lines, ${want_count} expected).${detail}\n"
                        "If the change is intended: cmake --build <build> --target refresh-golden-trace")
endif()
