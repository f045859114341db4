# MINPACK for the Levenberg-Marquardt calibration, as the target `minpack`.
# Natively it is Debian's libcminpack-dev, found through pkg-config. For Windows the routines
# lmdif needs are compiled from the upstream source of Debian's cminpack source package,
# downloaded and checked at configure time (nothing of it is committed). The download needs
# the source package's entry in apt's sources, which `cmake/install-deps.sh windows` sets up;
# configuring never changes the system's package sources.
include_guard(GLOBAL)

if(CMAKE_CROSSCOMPILING)
    set(MINPACK_SOURCE_ROOT ${CMAKE_BINARY_DIR}/_minpack)
    execute_process(
        COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/fetch-minpack-source.sh ${MINPACK_SOURCE_ROOT}
        RESULT_VARIABLE minpack_fetch_result)
    if(NOT minpack_fetch_result EQUAL 0)
        message(FATAL_ERROR "Could not obtain the MINPACK source (see the message above)")
    endif()
    set(MINPACK_DIR ${MINPACK_SOURCE_ROOT}/cminpack-1.3.6)
    add_library(minpack STATIC
                ${MINPACK_DIR}/lmdif.c ${MINPACK_DIR}/lmpar.c ${MINPACK_DIR}/qrfac.c
                ${MINPACK_DIR}/qrsolv.c ${MINPACK_DIR}/enorm.c ${MINPACK_DIR}/dpmpar.c
                ${MINPACK_DIR}/fdjac2.c)
    # Third-party C: built with its own warnings off, never with -Werror.
    target_compile_options(minpack PRIVATE -w -Wno-error)
    target_compile_definitions(minpack PUBLIC CMINPACK_NO_DLL)
    target_include_directories(minpack SYSTEM PUBLIC ${MINPACK_DIR})
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(CMINPACK REQUIRED IMPORTED_TARGET cminpack)
    add_library(minpack INTERFACE)
    target_link_libraries(minpack INTERFACE PkgConfig::CMINPACK)
endif()
