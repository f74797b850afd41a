# A clip made by nuvalo-sim (the Windows one, under wine) and read back by
# another decoder on the build machine, ImageMagick's: each frame must be the
# frame the game drew at that tick, as a script's snapshot wrote it.
#   cmake -DSIM=... -DEMULATOR=... -DCONVERT=... -DIDENTIFY=... -DWORKDIR=... -P clip_frames.cmake
if(NOT EXISTS "${CONVERT}" OR NOT EXISTS "${IDENTIFY}")
    message(FATAL_ERROR "ImageMagick's convert and identify are missing (scripts/install-deps.sh windows)")
endif()
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")

function(run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORKDIR}" RESULT_VARIABLE status
                    OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN}: status ${status}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# One run, with a snapshot after ticks 302, 304, ... 320 (a run's tick N is
# its watch's step N), then played to its end so that it is kept.
set(script "keyup 32\ntimer 300\n")
set(snapshots "")
foreach(i RANGE 1 10)
    string(APPEND script "timer 2\nsnapshot tick-${i}.png\n")
    list(APPEND snapshots tick-${i}.png)
endforeach()
string(APPEND script "timer 600\n")
file(WRITE "${WORKDIR}/run.txt" "${script}")
run(${EMULATOR} "${SIM}" --seed 5 --quiet --runs runs run.txt)

# From 6 s (step 300) to 6.4 s: the steps 302 to 320, every second one, doubled.
run(${EMULATOR} "${SIM}" --replay runs/1.nuvrun --gif clip.gif --from 6 --to 6.4 --fps 25 --scale 2)
run("${CONVERT}" clip.gif -coalesce -depth 8 rgb:decoded.rgb)
run("${CONVERT}" ${snapshots} -sample 200% -depth 8 rgb:expected.rgb)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files decoded.rgb expected.rgb
                WORKING_DIRECTORY "${WORKDIR}" RESULT_VARIABLE differs)
file(SIZE "${WORKDIR}/decoded.rgb" decoded_size)
if(differs OR NOT decoded_size EQUAL 32400000)
    message(FATAL_ERROR "the clip's frames (${decoded_size} bytes) are not the snapshots'")
endif()

run("${IDENTIFY}" -format "%T %W %H," clip.gif)
string(REPEAT "4 1200 900," 10 delays)
if(NOT out STREQUAL delays)
    message(FATAL_ERROR "frame delays and screen: ${out}, expected ${delays}")
endif()
# NETSCAPE2.0's loop block with a count of 0: forever.
file(READ "${WORKDIR}/clip.gif" bytes HEX)
if(NOT bytes MATCHES "21ff0b4e45545343415045322e300301000000")
    message(FATAL_ERROR "the clip does not loop forever")
endif()
