# omggif as the page carries it: its code in a scope of its own (it would
# otherwise add GifWriter and GifReader to the page's globals), to go through
# emcc's optimizer with the rest, and its licence, which that optimizer would
# strip, to go in front of the finished file as it is.
#   cmake -DPACKAGE=.../node_modules/omggif -DCODE=... -DNOTICE=... -P bundle.cmake
file(READ "${PACKAGE}/package.json" manifest)
string(JSON version GET "${manifest}" version)
file(READ "${PACKAGE}/omggif.js" code)
string(REGEX MATCH "^(//[^\n]*\n)+" notice "${code}")
if(NOT notice MATCHES "Permission is hereby granted")
    message(FATAL_ERROR "${PACKAGE}/omggif.js no longer starts with its licence")
endif()
file(WRITE "${NOTICE}" "// Clips are coded by omggif ${version}:\n${notice}")
file(WRITE "${CODE}" "var nuvaloOmggif = (function () {\nvar exports = {};\n${code}\nreturn exports;\n})();\n")
