# The protections Debian builds its own programs with, for the Linux game
# that goes into the package: position-independent executables, a stack
# canary in functions with arrays, glibc's checked string and memory calls,
# and a relocation table made read-only before the program starts.
#
# Left out where they do not apply or get in the way: the Windows and browser
# builds (another linker, no glibc), and the sanitizer and fuzzing builds,
# whose own instrumentation finds those faults and more.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT NUVALO_SANITIZE AND NOT NUVALO_FUZZ)
    set(_nuvalo_harden_default ON)
else()
    set(_nuvalo_harden_default OFF)
endif()
option(NUVALO_HARDEN "Build with Debian's hardening flags (PIE, stack protector, fortify, full RELRO)"
       ${_nuvalo_harden_default})

if(NUVALO_HARDEN)
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES C CXX)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    # glibc only checks calls when the compiler optimises (and warns
    # otherwise, which -Werror would turn into a failed build), so the
    # checked calls come with the optimised configurations alone. Another
    # level some compiler set already is replaced, not redefined.
    target_compile_options(nuvalo_options INTERFACE
        -fstack-protector-strong
        "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    target_link_options(nuvalo_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
