# heston_sources(<variable> <glob pattern>... [EXCLUDE <regex>])
#
# The files matching the patterns, re-globbed at build time. A part of the tree whose sources
# are missing fails the configure with a message instead of leaving its targets out.
function(heston_sources variable)
    cmake_parse_arguments(ARG "" "EXCLUDE" "" ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${ARG_UNPARSED_ARGUMENTS})
    if(ARG_EXCLUDE)
        list(FILTER found EXCLUDE REGEX "${ARG_EXCLUDE}")
    endif()
    if(NOT found)
        list(JOIN ARG_UNPARSED_ARGUMENTS " " patterns)
        message(FATAL_ERROR "No source file matches ${patterns}: the tree is incomplete")
    endif()
    set(${variable} ${found} PARENT_SCOPE)
endfunction()
