# MINPACK for the Levenberg-Marquardt calibration, as the target `minpack`.
# Natively it is Debian's libcminpack-dev, found through pkg-config.
if(NOT TARGET minpack)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(CMINPACK REQUIRED IMPORTED_TARGET cminpack)
    add_library(minpack INTERFACE)
    target_link_libraries(minpack INTERFACE PkgConfig::CMINPACK)
endif()
