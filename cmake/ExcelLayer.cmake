# The Excel interface layer (src/): XlfOper, XlfExcel, registration and the add-in's open and
# close, over the records and the platform.
#
# xlf     static library of src/*.cpp with the platform's objects; include directory src.
# Tests   tests/excel/*_test.cpp, each linked to xlf and the whole host. They export their
#         symbols so that LoadLibraryA("XLCALL32.DLL") and GetProcAddress find the host's
#         entry points in the running executable, as Excel's process would offer them.
heston_sources(XLF_SOURCES ${PROJECT_SOURCE_DIR}/src/*.cpp)
add_library(xlf STATIC ${XLF_SOURCES})
target_include_directories(xlf PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(xlf PUBLIC excel_records platform)

if(HESTON_TESTS)
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/excel/*_test.cpp
                     LIBRARIES xlf WHOLE_ARCHIVE xlhost EXPORTS)
endif()
