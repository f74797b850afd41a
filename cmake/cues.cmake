# The sound cues' files, read from the game's own table (game/cues.h), so that
# installing, packing and serving them never lists them a second time:
#   NUVALO_CUE_FILES   Ton/ball01.wav;Ton/magic01.wav;...
file(STRINGS ${PROJECT_SOURCE_DIR}/game/cues.h _cue_lines REGEX "^ *\"Ton/[a-z0-9]+\\.wav\",")
set(NUVALO_CUE_FILES "")
foreach(_line IN LISTS _cue_lines)
    string(REGEX MATCH "Ton/[a-z0-9]+\\.wav" _file "${_line}")
    list(APPEND NUVALO_CUE_FILES ${_file})
endforeach()
list(LENGTH NUVALO_CUE_FILES _count)
if(NOT _count EQUAL 4)
    message(FATAL_ERROR "game/cues.h: expected four cue files, found ${_count}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/game/cues.h)
