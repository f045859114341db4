# The numerical library: pricing (heston/) and calibration (calibration/).
# It sees only the standard library, MINPACK and its own headers.
file(GLOB HESTON_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/heston/*.cpp ${PROJECT_SOURCE_DIR}/calibration/*.cpp)
add_library(heston_numerics STATIC ${HESTON_SOURCES})
target_include_directories(heston_numerics PUBLIC
                           ${PROJECT_SOURCE_DIR}/heston ${PROJECT_SOURCE_DIR}/calibration)
target_link_libraries(heston_numerics PUBLIC minpack)

if(HESTON_TESTS)
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/numerics/*_test.cpp
                     LIBRARIES heston_numerics heston_test_support)
endif()

# The DAX surface of examples/ for the tests that calibrate to it.
if(HESTON_TESTS AND TARGET parallel_calibration_test)
    target_compile_definitions(parallel_calibration_test PRIVATE
                               HESTON_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
endif()
