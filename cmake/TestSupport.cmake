# Support shared by the tests, the benchmarks and the demonstration program (tests/support/):
# the straightforward reference evaluation, model-generated quote tables, the CSV reader of
# quote tables, closed-form Black-Scholes and normal references, and stream capture.
# It builds on the numerical library and on nothing of the Excel layer or of GoogleTest.
add_library(heston_test_support STATIC
            ${PROJECT_SOURCE_DIR}/tests/support/quote_table.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/observation_csv.cpp)
target_include_directories(heston_test_support PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(heston_test_support PUBLIC heston_numerics)
