# Fuzzing the add-in's worksheet functions through the substitute host (tests/fuzz).
#
# addin_fuzz_driver  the seeded random driver: natively in every tree, and for Windows (run
#                    through Wine against dist/heston64.xll; it lives beside XLCALL32.DLL).
#                    The test suite's slice: in each mode the corpus tests/fuzz/corpus, then
#                    random inputs from a fixed seed up to a fixed count of calls, in the native
#                    and native-asan trees and (with HESTON_WINE_TESTS) under Wine, 64-bit only:
#                    this machine's kernel runs no 32-bit programs.
# addin_fuzz         the libFuzzer target, with HESTON_FUZZ (preset "fuzz": clang with
#                    AddressSanitizer and UndefinedBehaviorSanitizer), for `make fuzz`; its own
#                    short slice runs with `ctest --preset fuzz`.
set(FUZZ_SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/AddinFuzzer.cpp)
heston_sources(FUZZ_CORPUS ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/*)
set(FUZZ_SLICE_RUNS 400 CACHE STRING "Inputs of each mode's libFuzzer slice in the test suite")
set(FUZZ_WINE_SLICE_CALLS 2000 CACHE STRING "Calls of each mode's Windows fuzz slice under Wine")
set(FUZZ_NATIVE_SLICE_CALLS 4000 CACHE STRING "Calls of each mode's native fuzz slice")

if(WIN32)
    # Built like xllhost.exe (cmake/Host.cmake), with the fuzzer in place of the workbook
    # program's main file.
    add_executable(addin_fuzz_driver ${PROJECT_SOURCE_DIR}/tests/fuzz/addin_fuzz_driver.cpp
                   ${FUZZ_SOURCES} ${RUNNER_SOURCES})
    target_include_directories(addin_fuzz_driver PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz
                               ${PROJECT_SOURCE_DIR}/host/workbook)
    target_link_libraries(addin_fuzz_driver PRIVATE platform xlhost_mdcallback12 xlhost psapi)
    # MdCallBack12 exported by the program, as Excel's main module does (host/xllhost.def).
    target_link_options(addin_fuzz_driver PRIVATE -static -static-libgcc -static-libstdc++
                        ${PROJECT_SOURCE_DIR}/host/xllhost.def)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(addin_fuzz_driver PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
    add_dependencies(addin_fuzz_driver heston_addin)
    return()
endif()

# Native programs: built like the end-to-end tests, exporting the host's entry points.
function(heston_fuzz_program name source)
    add_executable(${name} ${source} ${FUZZ_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz)
    target_link_libraries(${name} PRIVATE workbook_runner platform)
    set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
    target_compile_definitions(${name} PRIVATE HESTON_ADDIN_PATH="$<TARGET_FILE:heston_addin>")
    add_dependencies(${name} heston_addin)
endfunction()

heston_fuzz_program(addin_fuzz_driver ${PROJECT_SOURCE_DIR}/tests/fuzz/addin_fuzz_driver.cpp)
if(HESTON_TESTS)
    foreach(mode IN ITEMS 4 12)
        set(version 11.0)
        if(mode EQUAL 12)
            set(version 12.0)
        endif()
        add_test(NAME fuzz_slice_excel${mode}
                 COMMAND addin_fuzz_driver $<TARGET_FILE:heston_addin> ${version} 1
                         ${FUZZ_NATIVE_SLICE_CALLS} ${FUZZ_CORPUS})
        set_tests_properties(fuzz_slice_excel${mode} PROPERTIES TIMEOUT 300)
    endforeach()
endif()

if(HESTON_FUZZ)
    heston_fuzz_program(addin_fuzz ${PROJECT_SOURCE_DIR}/tests/fuzz/addin_fuzz.cpp)
    target_link_options(addin_fuzz PRIVATE -fsanitize=fuzzer)
    enable_testing()
    # A bounded slice: the corpus, then mutations from a fixed seed. Each input makes up to 16
    # calls; the count of calls is printed at the end. libFuzzer writes new inputs into its
    # first directory, an emptied scratch one, so the repository's corpus stays as it is.
    foreach(mode IN ITEMS 4 12)
        set(version 11.0)
        if(mode EQUAL 12)
            set(version 12.0)
        endif()
        set(scratch ${CMAKE_BINARY_DIR}/slice-corpus-excel${mode})
        add_test(NAME addin_fuzz_slice_excel${mode}
                 COMMAND sh -c "rm -rf '${scratch}' && mkdir '${scratch}' && exec \"$0\" \"$@\""
                         $<TARGET_FILE:addin_fuzz> -seed=1 -runs=${FUZZ_SLICE_RUNS} -max_len=512
                         -timeout=30 -rss_limit_mb=4096 ${scratch}
                         ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus)
        set_tests_properties(addin_fuzz_slice_excel${mode} PROPERTIES
                             ENVIRONMENT "HESTON_FUZZ_VERSION=${version}" TIMEOUT 300)
    endforeach()
endif()

if(HESTON_TESTS AND HESTON_WINE_TESTS)
    set(FUZZ_WINDOWS_DRIVER ${PROJECT_SOURCE_DIR}/build/mingw64/addin_fuzz_driver.exe)
    set(FUZZ_WINDOWS_CORPUS)
    foreach(file IN LISTS FUZZ_CORPUS)
        list(APPEND FUZZ_WINDOWS_CORPUS Z:${file})
    endforeach()
    foreach(mode IN ITEMS 4 12)
        set(version 11.0)
        if(mode EQUAL 12)
            set(version 12.0)
        endif()
        add_test(NAME wine_fuzz_slice_excel${mode}
                 COMMAND ${WINE64_PROGRAM} ${FUZZ_WINDOWS_DRIVER}
                         Z:${PROJECT_SOURCE_DIR}/dist/heston64.xll ${version} 1
                         ${FUZZ_WINE_SLICE_CALLS} ${FUZZ_WINDOWS_CORPUS})
        set_tests_properties(wine_fuzz_slice_excel${mode} PROPERTIES
                             ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all"
                             FIXTURES_REQUIRED wine_prefix TIMEOUT 300)
    endforeach()
endif()
