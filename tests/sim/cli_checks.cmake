# Checks nuvalo-sim's command line: help, options, script from a file or
# standard input, and the exit status of a malformed script.
#   cmake -DSIM=... -DWORKDIR=... -P cli_checks.cmake
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")

function(expect_run expected_status)
    cmake_parse_arguments(ARG "" "INPUT;OUTPUT_HAS;ERROR_HAS" "ARGS" ${ARGN})
    set(input_option "")
    if(ARG_INPUT)
        set(input_option INPUT_FILE "${ARG_INPUT}")
    endif()
    execute_process(COMMAND ${EMULATOR} "${SIM}" ${ARG_ARGS} ${input_option}
                    WORKING_DIRECTORY "${WORKDIR}"
                    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    if(NOT status EQUAL expected_status)
        message(FATAL_ERROR "nuvalo-sim ${ARG_ARGS}: status ${status}, expected ${expected_status}\n${err}")
    endif()
    if(ARG_OUTPUT_HAS AND NOT out MATCHES "${ARG_OUTPUT_HAS}")
        message(FATAL_ERROR "nuvalo-sim ${ARG_ARGS}: output lacks '${ARG_OUTPUT_HAS}':\n${out}")
    endif()
    if(ARG_ERROR_HAS AND NOT err MATCHES "${ARG_ERROR_HAS}")
        message(FATAL_ERROR "nuvalo-sim ${ARG_ARGS}: message lacks '${ARG_ERROR_HAS}':\n${err}")
    endif()
endfunction()

file(WRITE "${WORKDIR}/good.txt" "keyup 32\ntimer 2\n")
file(WRITE "${WORKDIR}/bad.txt" "keyup 32\ntimer two\ntimer\n")

expect_run(0 ARGS --help OUTPUT_HAS "Usage: nuvalo-sim")
expect_run(0 ARGS --seed 5 good.txt OUTPUT_HAS "\"event\":\"timer 2\",\"tick\":2,")
expect_run(0 ARGS --seed=5 - INPUT "${WORKDIR}/good.txt" OUTPUT_HAS "\"tick\":2,")
expect_run(0 ARGS --quiet --seed 5 INPUT "${WORKDIR}/good.txt"
           OUTPUT_HAS "^{\"event\":\"timer 2\",\"tick\":2,[^\n]*}\n$")
expect_run(2 ARGS --seed 5 bad.txt ERROR_HAS "line 2")
expect_run(2 ARGS --seed 4294967296 good.txt ERROR_HAS "--seed")
expect_run(2 ARGS --seed good.txt ERROR_HAS "--seed")
expect_run(2 ARGS --speed 5 good.txt ERROR_HAS "unknown option")
expect_run(2 ARGS --seed 5 good.txt good.txt ERROR_HAS "more than one script")
expect_run(2 ARGS --seed 5 missing.txt ERROR_HAS "cannot open missing.txt")

# Runs kept and replayed: each finished run as DIR/N.nuvrun; its replay says
# verified; its link replays the same; a damaged record is told, not replayed.
file(WRITE "${WORKDIR}/runs.txt" "keyup 32\ntimer 900\nkeyup 32\nkeydown 37\ntimer 900\nkeyup 32\ntimer 50\n")
expect_run(0 ARGS --seed 5 --quiet --runs kept runs.txt)
expect_run(0 ARGS --replay kept/1.nuvrun OUTPUT_HAS "\n{\"verified\":true,\"ticks\":[0-9]+,\"score\":[-0-9]+}\n$")
expect_run(0 ARGS --replay kept/2.nuvrun OUTPUT_HAS "{\"verified\":true,")
if(EXISTS "${WORKDIR}/kept/3.nuvrun")
    message(FATAL_ERROR "nuvalo-sim --runs: a run cut short by the script's end was kept")
endif()
execute_process(COMMAND ${EMULATOR} "${SIM}" --link kept/1.nuvrun WORKING_DIRECTORY "${WORKDIR}"
                OUTPUT_VARIABLE link OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT link MATCHES "^#run=[A-Za-z0-9_-]+$")
    message(FATAL_ERROR "nuvalo-sim --link: status ${status}, '${link}'")
endif()
expect_run(0 ARGS --replay "https://example.org/nuvalo/${link}&t=3" OUTPUT_HAS "{\"verified\":true,")
expect_run(2 ARGS --replay "#run=TlVWUgE" OUTPUT_HAS "\"reason\":\"cut short")
expect_run(2 ARGS --replay missing.nuvrun ERROR_HAS "cannot open missing.nuvrun")

# Clips: a stretch of a kept run as a GIF after the verdict line alone; a
# stretch the run lacks is told and nothing is written.
expect_run(0 ARGS --replay kept/1.nuvrun --gif clip.gif --from 1 --to 1.2 --fps 25 --scale 2
           OUTPUT_HAS "^{\"verified\":true,[^\n]*}\n$")
file(READ "${WORKDIR}/clip.gif" head LIMIT 6 HEX)
expect_run(2 ARGS --replay kept/1.nuvrun --gif late.gif --from 99 ERROR_HAS "past the run's end")
if(NOT head STREQUAL "474946383961" OR EXISTS "${WORKDIR}/late.gif") # GIF89a
    message(FATAL_ERROR "nuvalo-sim --gif: '${head}' written, or a file for a stretch the run lacks")
endif()
expect_run(2 ARGS --replay kept/1.nuvrun --gif clip.gif --fps 30 ERROR_HAS "--fps is 50 or 25")
expect_run(2 ARGS --replay kept/1.nuvrun --from 3 ERROR_HAS "--gif OUT is missing for --from")
expect_run(2 ARGS --gif clip.gif kept/1.nuvrun ERROR_HAS "--gif clips a run given with --replay")
