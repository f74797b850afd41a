# Writes a text file for the Windows download: the inputs one after another
# (a blank line between them), @VERSION@ filled in, with CRLF line ends and a
# UTF-8 byte-order mark, so that Notepad on any Windows shows the Japanese
# lines and the line breaks right.
#   cmake -DOUTPUT=file -DINPUTS="a;b" -DVERSION=x.y.z -P windows_text.cmake
# (The policies of today's CMake: the old ones would read "@VERSION@" here as
# a variable.)
cmake_minimum_required(VERSION 3.25)
set(text "")
foreach(input IN LISTS INPUTS)
    file(READ ${input} part)
    if(NOT text STREQUAL "")
        string(APPEND text "\n")
    endif()
    string(APPEND text "${part}")
endforeach()
string(REPLACE "@VERSION@" "${VERSION}" text "${text}")
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
string(ASCII 239 187 191 bom)
file(WRITE ${OUTPUT} "${bom}${text}")
