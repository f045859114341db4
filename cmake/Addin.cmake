# The worksheet add-in, the xllhost workbook program and the end-to-end tests.
#
# heston_addin  the add-in module (heston_addin.xll), loaded at run time by path like an .xll:
#               addin/*.cpp + the whole layer xlf (xlAutoOpen and xlAutoClose live there and
#               nothing inside the module references them) + heston_numerics.
# xllhost       loads an add-in into the substitute host and evaluates a CSV workbook. It links
#               the host and the platform substitutes but not xlf: the add-in's own copy of the
#               layer is the one that runs. It exports its symbols, so the add-in's
#               LoadLibraryA("XLCALL32.DLL") finds the host's entry points in the process, and
#               the add-in's calls into the platform substitutes reach the program's copy, the
#               one simulated desktop of the process (module names, failure switches).
# Tests         tests/addin/*_test.cpp, built like xllhost, each told where the add-in is.
if(NOT TARGET xlf OR NOT TARGET heston_numerics)
    return()
endif()

# Static libraries that end up inside a loadable module.
set_target_properties(xlf heston_numerics PROPERTIES POSITION_INDEPENDENT_CODE ON)

file(GLOB ADDIN_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/addin/*.cpp)
add_library(heston_addin MODULE ${ADDIN_SOURCES})
target_include_directories(heston_addin PRIVATE ${PROJECT_SOURCE_DIR}/addin)
target_link_libraries(heston_addin PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,xlf> heston_numerics)
set_target_properties(heston_addin PROPERTIES PREFIX "" SUFFIX ".xll")
if(WIN32)
    # Exports by the names Excel is given, without the 32-bit stdcall decoration; only system
    # DLLs and the XLCALL32.DLL loaded at run time are needed on the user's machine.
    target_sources(heston_addin PRIVATE ${PROJECT_SOURCE_DIR}/addin/heston_addin.def)
    target_link_options(heston_addin PRIVATE -Wl,--kill-at -static -static-libgcc
                        -static-libstdc++)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # The .def lists plain names; the linker matches each to its _name@N symbol.
        target_link_options(heston_addin PRIVATE -Wl,--enable-stdcall-fixup)
        set(HESTON_DIST_NAME heston32.xll)
    else()
        set(HESTON_DIST_NAME heston64.xll)
    endif()
    # The file a user copies to Windows, under the name that says its bitness.
    add_custom_command(TARGET heston_addin POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_SOURCE_DIR}/dist
                       COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:heston_addin>
                               ${PROJECT_SOURCE_DIR}/dist/${HESTON_DIST_NAME}
                       VERBATIM)
endif()

if(WIN32 AND TARGET xlhost)
    # xllhost.exe: the same workbook program over the real Windows API. The host lives in
    # XLCALL32.DLL beside it, where the add-in's LoadLibraryA("XLCALL32.DLL") finds the copy
    # already loaded; the program itself exports MdCallBack12 (host/xllhost.def), as Excel's
    # main module does.
    file(GLOB XLLHOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/host/workbook/*.cpp)
    file(GLOB XLLHOST_PLATFORM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/*.cpp)
    add_executable(xllhost ${XLLHOST_SOURCES} ${XLLHOST_PLATFORM_SOURCES})
    target_include_directories(xllhost PRIVATE
                               ${PROJECT_SOURCE_DIR}/host/workbook ${PROJECT_SOURCE_DIR}/host
                               ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
    target_link_libraries(xllhost PRIVATE xlhost_mdcallback12 xlhost psapi)
    # CMake hands .def files only to libraries: give it to the linker as an input.
    target_link_options(xllhost PRIVATE -static -static-libgcc -static-libstdc++
                        ${PROJECT_SOURCE_DIR}/host/xllhost.def)
    set_property(TARGET xllhost APPEND PROPERTY LINK_DEPENDS
                 ${PROJECT_SOURCE_DIR}/host/xllhost.def)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(xllhost PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
    set_source_files_properties(${PROJECT_SOURCE_DIR}/host/workbook/EntryPointCall.cpp
                                PROPERTIES COMPILE_OPTIONS -O1)
    add_dependencies(xllhost heston_addin)
    return()
endif()

if(WIN32 OR NOT TARGET xlhost)
    return()
endif()

# The workbook program's parts and the platform substitutes, as objects so that every
# substitute is linked (and exported) whether or not the program itself calls it.
file(GLOB XLLHOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/host/workbook/*.cpp)
list(FILTER XLLHOST_SOURCES EXCLUDE REGEX "Main\\.cpp$")
file(GLOB XLLHOST_PLATFORM_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/platform/*.cpp)
add_library(xllhost_parts OBJECT ${XLLHOST_SOURCES} ${XLLHOST_PLATFORM_SOURCES})
target_include_directories(xllhost_parts PUBLIC
                           ${PROJECT_SOURCE_DIR}/host/workbook ${PROJECT_SOURCE_DIR}/host
                           ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
target_compile_definitions(xllhost_parts PRIVATE _GNU_SOURCE)
target_link_libraries(xllhost_parts PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
# Every signature of up to 12 arguments is a template instance; optimising thousands of
# one-call functions costs build time and gains nothing.
set_source_files_properties(${PROJECT_SOURCE_DIR}/host/workbook/EntryPointCall.cpp
                            PROPERTIES COMPILE_OPTIONS -O1)

add_executable(xllhost ${PROJECT_SOURCE_DIR}/host/workbook/XllHostMain.cpp)
target_link_libraries(xllhost PRIVATE xllhost_parts $<LINK_LIBRARY:WHOLE_ARCHIVE,xlhost>)
set_target_properties(xllhost PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(xllhost heston_addin)

if(HESTON_TESTS)
    set(ADDIN_TEST_PATTERN ${PROJECT_SOURCE_DIR}/tests/addin/*_test.cpp)
    heston_add_tests(${ADDIN_TEST_PATTERN} LIBRARIES xllhost_parts)
    file(GLOB ADDIN_TEST_SOURCES CONFIGURE_DEPENDS ${ADDIN_TEST_PATTERN})
    foreach(source IN LISTS ADDIN_TEST_SOURCES)
        get_filename_component(name ${source} NAME_WE)
        set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
        target_link_libraries(${name} PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,xlhost>)
        target_compile_definitions(${name} PRIVATE
                                   HESTON_ADDIN_PATH="$<TARGET_FILE:heston_addin>"
                                   HESTON_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
        add_dependencies(${name} heston_addin)
    endforeach()

    # The add-in's own pieces (the worksheet frame, argument conversions) over the layer in
    # the test process, as tests/excel tests the layer.
    set(ADDIN_UNIT_PATTERN ${PROJECT_SOURCE_DIR}/tests/addin/layer/*_test.cpp)
    heston_add_tests(${ADDIN_UNIT_PATTERN} LIBRARIES xlf)
    file(GLOB ADDIN_UNIT_SOURCES CONFIGURE_DEPENDS ${ADDIN_UNIT_PATTERN})
    foreach(source IN LISTS ADDIN_UNIT_SOURCES)
        get_filename_component(name ${source} NAME_WE)
        set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/addin/WorksheetArguments.cpp)
        target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/addin)
        target_link_libraries(${name} PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,xlhost>)
    endforeach()
endif()

# End-to-end tests of the Windows add-ins under Wine against this native build. They need the
# mingw32 and mingw64 builds (heston_addin and xllhost) and dist/; `make test` makes them.
option(HESTON_WINE_TESTS "Compare the Windows add-ins under Wine with the native build" OFF)
if(HESTON_TESTS AND HESTON_WINE_TESTS)
    set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    # Debian keeps the 64-bit loader out of PATH; `wine` itself is the 32-bit one.
    find_program(WINE64_PROGRAM wine64 PATHS /usr/lib/wine)
    add_executable(wine_test ${PROJECT_SOURCE_DIR}/tests/wine/wine_test.cpp)
    target_link_libraries(wine_test PRIVATE GTest::gtest GTest::gtest_main)
    target_compile_definitions(wine_test PRIVATE
        WINE_TEST_NATIVE_XLLHOST="$<TARGET_FILE:xllhost>"
        WINE_TEST_NATIVE_ADDIN="$<TARGET_FILE:heston_addin>"
        WINE_TEST_MINGW32_DIR="${PROJECT_SOURCE_DIR}/build/mingw32"
        WINE_TEST_MINGW64_DIR="${PROJECT_SOURCE_DIR}/build/mingw64"
        WINE_TEST_DIST_DIR="${PROJECT_SOURCE_DIR}/dist"
        WINE_TEST_WINE32="wine"
        WINE_TEST_WINE64="${WINE64_PROGRAM}"
        WINE_TEST_PREFIX="${WINE_TEST_PREFIX}"
        WINE_TEST_WORK_DIR="${CMAKE_BINARY_DIR}"
        WINE_TEST_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
        WINE_TEST_WORKBOOK_DIR="${PROJECT_SOURCE_DIR}/tests/wine")
    add_dependencies(wine_test xllhost heston_addin)
    gtest_discover_tests(wine_test DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED wine_prefix)
    add_test(NAME wine_prefix_start
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/wine-prefix.sh start ${WINE_TEST_PREFIX})
    add_test(NAME wine_prefix_stop
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/wine-prefix.sh stop ${WINE_TEST_PREFIX})
    set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
    set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix)
endif()
