# Tests of the demonstration workbook (tests/demo).
#
# cell_values_file_test  the file of cell values xllhost writes and the workbook builder reads
# demo_workbook_test     the workbook checked in LibreOffice Calc: the demo through the native
#                        add-in, then Calc opens the workbook and converts it to CSV (values,
#                        formulas); the charts page rendered to PDF. Not under the sanitizers:
#                        the demo's fits would take minutes there, and Calc is not ours to check.
if(NOT HESTON_TESTS OR WIN32)
    return()
endif()

set(DEMO_WORKBOOK_DIR ${PROJECT_SOURCE_DIR}/examples/workbook)
heston_add_tests(${PROJECT_SOURCE_DIR}/tests/demo/cell_values_file_test.cpp)
target_sources(cell_values_file_test PRIVATE
               ${PROJECT_SOURCE_DIR}/host/workbook/CellValuesFile.cpp
               ${PROJECT_SOURCE_DIR}/host/workbook/SheetValue.cpp
               ${PROJECT_SOURCE_DIR}/host/workbook/Workbook.cpp
               ${DEMO_WORKBOOK_DIR}/CellValues.cpp ${DEMO_WORKBOOK_DIR}/SheetModel.cpp)
target_include_directories(cell_values_file_test PRIVATE
                           ${PROJECT_SOURCE_DIR}/host/workbook ${PROJECT_SOURCE_DIR}/src
                           ${PROJECT_SOURCE_DIR}/platform ${DEMO_WORKBOOK_DIR})

if(HESTON_SANITIZE OR NOT TARGET xllhost)
    return()
endif()

if(NOT TARGET demo_workbook)
    # Without libxlsxwriter the workbook cannot be written: that is a failure, not a skip.
    add_test(NAME demo_workbook_test
             COMMAND ${CMAKE_COMMAND} -E echo "libxlsxwriter is missing: run make deps")
    set_tests_properties(demo_workbook_test PROPERTIES WILL_FAIL ON)
    return()
endif()

add_executable(demo_workbook_test ${PROJECT_SOURCE_DIR}/tests/demo/demo_workbook_test.cpp
               ${DEMO_WORKBOOK_DIR}/CellValues.cpp ${DEMO_WORKBOOK_DIR}/DaxQuotes.cpp
               ${DEMO_WORKBOOK_DIR}/DemoLayout.cpp ${DEMO_WORKBOOK_DIR}/SheetModel.cpp
               ${DEMO_WORKBOOK_DIR}/SheetArithmetic.cpp)
target_include_directories(demo_workbook_test PRIVATE ${DEMO_WORKBOOK_DIR})
target_link_libraries(demo_workbook_test PRIVATE GTest::gtest GTest::gtest_main)
target_compile_definitions(demo_workbook_test PRIVATE
    DEMO_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    DEMO_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}"
    DEMO_TEST_WORK_DIR="${CMAKE_BINARY_DIR}/demo-check")
add_dependencies(demo_workbook_test demo_workbook xllhost heston_addin)
# One process: the demo run and the conversions are made once for the three checks.
add_test(NAME demo_workbook_test COMMAND demo_workbook_test)
set_tests_properties(demo_workbook_test PROPERTIES TIMEOUT 600)
