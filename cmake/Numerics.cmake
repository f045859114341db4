# The numerical library (heston/): one folder per subsystem, each file included by its folder
# ("quadrature/SinhTrapezoid.h"), with heston/ the one include root. It sees only the standard
# library, MINPACK and its own headers; which folder may include which is checked at configure
# time (cmake/Layering.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/Layering.cmake)
heston_check_layering(${PROJECT_SOURCE_DIR}/heston)

file(GLOB HESTON_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/heston/*/*.cpp)
add_library(heston_numerics STATIC ${HESTON_SOURCES})
target_include_directories(heston_numerics PUBLIC ${PROJECT_SOURCE_DIR}/heston)
target_link_libraries(heston_numerics PUBLIC minpack)

if(HESTON_TESTS)
    heston_add_tests(${PROJECT_SOURCE_DIR}/tests/numerics/*_test.cpp
                     LIBRARIES heston_numerics heston_test_support)
endif()

# The DAX surface of examples/ for the tests that calibrate to it.
if(HESTON_TESTS)
    foreach(test parallel_calibration_test bates_calibration_test)
        if(TARGET ${test})
            target_compile_definitions(${test} PRIVATE
                                       HESTON_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
        endif()
    endforeach()
endif()
