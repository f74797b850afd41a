# Turns a binary file into a C++ source holding its bytes, so that data is
# compiled into the program without a host tool (works the same when
# cross-compiling).
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P embed.cmake
# The source defines nuvalo::res::embedded::<SYMBOL> and <SYMBOL>Size, declared
# in resources/embedded.h.
cmake_minimum_required(VERSION 3.25)
if(NOT INPUT OR NOT OUTPUT OR NOT SYMBOL)
    message(FATAL_ERROR "embed.cmake needs INPUT, OUTPUT and SYMBOL")
endif()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
    message(FATAL_ERROR "embed.cmake: ${INPUT} is empty")
endif()

# Sixteen bytes to a line keeps the source readable and compilers happy.
string(REPEAT "[0-9a-f][0-9a-f]" 16 line_of_16)
string(REGEX REPLACE "(${line_of_16})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")

file(WRITE "${OUTPUT}.tmp"
    "// Generated from ${INPUT} by embed.cmake; do not edit.\n"
    "#include \"resources/embedded.h\"\n\n"
    "namespace nuvalo::res::embedded {\n\n"
    "const std::uint8_t ${SYMBOL}[] = {\n${hex}\n};\n"
    "const std::size_t ${SYMBOL}Size = ${size};\n\n"
    "} // namespace nuvalo::res::embedded\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
