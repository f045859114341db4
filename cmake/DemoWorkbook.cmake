# Tests of the demonstration workbook (tests/demo).
#
# cell_values_file_test  the file of cell values xllhost writes and the workbook builder reads
# sheet_model_test       the demonstration sheet as the workbook builder hands it to xllhost
# demo_workbook_test     the workbook checked in LibreOffice Calc: the demo through the native
#                        add-in, then Calc opens the workbook and converts it to CSV (values,
#                        formulas); the charts page rendered to PDF. Not under the sanitizers:
#                        the demo's fits would take minutes there, and Calc is not ours to check.
set(DEMO_WORKBOOK_DIR ${PROJECT_SOURCE_DIR}/examples/workbook)
heston_add_tests(${PROJECT_SOURCE_DIR}/tests/demo/cell_values_file_test.cpp
                 LIBRARIES excel_records
                 SOURCES ${PROJECT_SOURCE_DIR}/host/workbook/CellValuesFile.cpp
                         ${PROJECT_SOURCE_DIR}/host/workbook/SheetValue.cpp
                         ${PROJECT_SOURCE_DIR}/host/workbook/Workbook.cpp
                         ${DEMO_WORKBOOK_DIR}/CellValues.cpp ${DEMO_WORKBOOK_DIR}/SheetModel.cpp
                 INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/host/workbook ${DEMO_WORKBOOK_DIR})

heston_add_tests(${PROJECT_SOURCE_DIR}/tests/demo/sheet_model_test.cpp
                 SOURCES ${DEMO_WORKBOOK_DIR}/SheetModel.cpp
                 INCLUDE_DIRECTORIES ${DEMO_WORKBOOK_DIR})

if(HESTON_SANITIZE)
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
