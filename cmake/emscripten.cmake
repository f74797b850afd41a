# Builds Nuvalo for the browser (and its tools and tests for node) with
# Debian's emscripten package. Emscripten's ports download from the internet,
# so nothing here uses them: the page talks to the browser directly.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# emcc's JavaScript optimizer needs the acorn parser, which Debian keeps in
# /usr/share/nodejs; a node that is not Debian's own does not look there.
set(_nuvalo_node_path "/usr/share/nodejs")
if(DEFINED ENV{NODE_PATH} AND NOT "$ENV{NODE_PATH}" STREQUAL "")
    string(APPEND _nuvalo_node_path ":$ENV{NODE_PATH}")
endif()
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${_nuvalo_node_path})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=${_nuvalo_node_path})

# Every program is a command-line program for node unless its folder says
# otherwise (the page does): the real file system (save.dat in the current
# folder), one self-contained .js file (this emscripten's loader would try
# fetch() on a file path under node 18 and later), and an exit status.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-sENVIRONMENT=node -sNODERAWFS=1 -sSINGLE_FILE=1 -sEXIT_RUNTIME=1 -sALLOW_MEMORY_GROWTH=1")
set(CMAKE_EXECUTABLE_SUFFIX_CXX .js)

# The node programs run under the node on the PATH (tests and gtest's test
# listing included).
find_program(NUVALO_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NUVALO_NODE})

# GoogleTest from Debian's sources, built for WebAssembly.
set(CMAKE_PROJECT_Nuvalo_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/target-gtest.cmake)
