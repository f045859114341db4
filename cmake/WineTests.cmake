# End-to-end tests of the Windows add-ins under Wine against this native build (tests/wine).
# They need the mingw32 and mingw64 builds (heston_addin and xllhost) and dist/; `make test`
# makes them.
set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Debian keeps the 64-bit loader out of PATH; `wine` itself is the 32-bit one.
find_program(WINE64_PROGRAM wine64 PATHS /usr/lib/wine REQUIRED)
heston_add_tests(${PROJECT_SOURCE_DIR}/tests/wine/*_test.cpp
                 DEFINITIONS WINE_TEST_NATIVE_XLLHOST="$<TARGET_FILE:xllhost>"
                             WINE_TEST_NATIVE_ADDIN="$<TARGET_FILE:heston_addin>"
                             WINE_TEST_MINGW32_DIR="${PROJECT_SOURCE_DIR}/build/mingw32"
                             WINE_TEST_MINGW64_DIR="${PROJECT_SOURCE_DIR}/build/mingw64"
                             WINE_TEST_DIST_DIR="${PROJECT_SOURCE_DIR}/dist"
                             WINE_TEST_WINE32="wine"
                             WINE_TEST_WINE64="${WINE64_PROGRAM}"
                             WINE_TEST_PREFIX="${WINE_TEST_PREFIX}"
                             WINE_TEST_WORK_DIR="${CMAKE_BINARY_DIR}"
                             WINE_TEST_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
                             WINE_TEST_WORKBOOK_DIR="${PROJECT_SOURCE_DIR}/tests/wine"
                 DEPENDS xllhost heston_addin
                 TEST_PROPERTIES FIXTURES_REQUIRED wine_prefix)
add_test(NAME wine_prefix_start
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/wine-prefix.sh start ${WINE_TEST_PREFIX})
add_test(NAME wine_prefix_stop
         COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/wine-prefix.sh stop ${WINE_TEST_PREFIX})
set_tests_properties(wine_prefix_start PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix)
