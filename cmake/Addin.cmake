# The worksheet add-in and its tests.
#
# heston_addin  the add-in module (heston_addin.xll), loaded at run time by path like an .xll:
#               addin/*.cpp + the whole layer xlf (xlAutoOpen and xlAutoClose live there and
#               nothing inside the module references them) + heston_numerics.
# Tests         tests/addin/*_test.cpp end to end: the add-in loaded into the workbook runner
#               of the test process, as xllhost runs it. tests/addin/layer/*_test.cpp: the
#               add-in's own pieces (the worksheet frame, argument conversions) over the layer
#               in the test process, as tests/excel tests the layer. tests/addin/pool/*_test.cpp:
#               the add-in's thread pool with the numerical library, without the layer.

# Static libraries that end up inside a loadable module.
set_target_properties(xlf heston_numerics PROPERTIES POSITION_INDEPENDENT_CODE ON)

heston_sources(ADDIN_SOURCES ${PROJECT_SOURCE_DIR}/addin/*.cpp)
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
# The workbook program is run with the add-in beside it.
add_dependencies(xllhost heston_addin)

if(HESTON_TESTS)
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/addin/*_test.cpp
                     LIBRARIES workbook_runner platform EXPORTS
                     INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/tests/support
                     DEFINITIONS HESTON_ADDIN_PATH="$<TARGET_FILE:heston_addin>"
                                 HESTON_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
                     DEPENDS heston_addin)
    # The finite-difference functions' test compares with the library's own prices.
    target_link_libraries(finite_difference_functions_test PRIVATE heston_numerics)
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/addin/layer/*_test.cpp
                     LIBRARIES xlf WHOLE_ARCHIVE xlhost EXPORTS
                     SOURCES ${PROJECT_SOURCE_DIR}/addin/WorksheetArguments.cpp
                     INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/addin)
    # The add-in's thread pool on its own, with the numerical library it runs (the DAX surface).
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/addin/pool/*_test.cpp
                     LIBRARIES heston_test_support
                     SOURCES ${PROJECT_SOURCE_DIR}/addin/ThreadPool.cpp
                     INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/addin
                     DEFINITIONS HESTON_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
endif()
