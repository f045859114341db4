# One helper adds every test: a GoogleTest executable per source file, discovered by CTest.
find_package(GTest REQUIRED)
include(GoogleTest)

# heston_add_tests(<glob pattern>
#     [LIBRARIES <targets>...]            linked as usual
#     [WHOLE_ARCHIVE <targets>...]        static libraries linked with every object, so that
#                                         entry points nothing references directly are there
#     [SOURCES <files>...]                compiled into every test of the pattern too
#     [INCLUDE_DIRECTORIES <dirs>...]
#     [DEFINITIONS <definitions>...]
#     [DEPENDS <targets>...]              built before the tests
#     [TEST_PROPERTIES <name value>...]   set on every discovered test (TIMEOUT is 600)
#     [EXPORTS])                          symbols visible to dlsym, as in a host program
#
# No file matching the pattern fails the configure.
function(heston_add_tests pattern)
    cmake_parse_arguments(ARG "EXPORTS" ""
                          "LIBRARIES;WHOLE_ARCHIVE;SOURCES;INCLUDE_DIRECTORIES;DEFINITIONS;DEPENDS;TEST_PROPERTIES"
                          ${ARGN})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "heston_add_tests: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    heston_sources(sources ${pattern})
    foreach(source IN LISTS sources)
        get_filename_component(name ${source} NAME_WE)
        add_executable(${name} ${source} ${ARG_SOURCES})
        target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
        foreach(library IN LISTS ARG_WHOLE_ARCHIVE)
            target_link_libraries(${name} PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>)
        endforeach()
        if(ARG_INCLUDE_DIRECTORIES)
            target_include_directories(${name} PRIVATE ${ARG_INCLUDE_DIRECTORIES})
        endif()
        if(ARG_DEFINITIONS)
            target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
        endif()
        if(ARG_DEPENDS)
            add_dependencies(${name} ${ARG_DEPENDS})
        endif()
        if(ARG_EXPORTS)
            set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
        endif()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                             PROPERTIES TIMEOUT 600 ${ARG_TEST_PROPERTIES})
    endforeach()
endfunction()
