# Writes the page's service worker (sw.js) once the page's files are all in
# place: the list of files to keep, and a cache name made from their contents,
# so that a new build is a new cache and the same build always the same one.
#   cmake -DSITE=<page folder> -DTEMPLATE=<sw.js.in> -P offline.cmake
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE files RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM files sw.js)
list(SORT files)
set(digests "")
set(listed "'./'")
foreach(file IN LISTS files)
    file(SHA256 ${SITE}/${file} digest)
    string(APPEND digests "${file} ${digest}\n")
    string(APPEND listed ", '${file}'")
endforeach()
string(SHA256 whole "${digests}")
string(SUBSTRING ${whole} 0 16 NUVALO_BUILD_HASH)
set(NUVALO_PAGE_FILES ${listed})
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
