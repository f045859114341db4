# The substitute Excel host (host/) and the workbook runner (host/workbook/, the program
# xllhost). Both see the records and the platform, never the Excel layer (src/).
#
# xlhost           host/*.cpp: answers the add-in's requests through the exported C entry
#                  points Excel4, Excel4v and MdCallBack12. Natively a static library; on
#                  Windows the real XLCALL32.DLL.
# workbook_runner  host/workbook/*.cpp but the program's main file: loads an add-in into the
#                  host and evaluates a CSV workbook (natively an object library, for xllhost
#                  and the end-to-end tests).
# xllhost          the workbook program. It links the host and the platform but not the layer:
#                  the add-in's own copy of the layer is the one that runs. Natively it
#                  exports its symbols, so that the add-in's LoadLibraryA("XLCALL32.DLL")
#                  finds the host's entry points in the process and the add-in's calls into
#                  the platform substitutes reach the program's copy, the one simulated
#                  desktop of the process (module names, failure switches).
heston_sources(XLHOST_SOURCES ${PROJECT_SOURCE_DIR}/host/*.cpp)
heston_sources(RUNNER_SOURCES ${PROJECT_SOURCE_DIR}/host/workbook/*.cpp EXCLUDE "Main\\.cpp$")
set(XLLHOST_MAIN ${PROJECT_SOURCE_DIR}/host/workbook/XllHostMain.cpp)
# Every signature of up to 12 arguments is a template instance; optimising thousands of
# one-call functions costs build time and gains nothing.
set_source_files_properties(${PROJECT_SOURCE_DIR}/host/workbook/EntryPointCall.cpp
                            PROPERTIES COMPILE_OPTIONS -O1)

if(NOT WIN32)
    add_library(xlhost STATIC ${XLHOST_SOURCES})
    target_include_directories(xlhost PUBLIC ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(xlhost PUBLIC excel_records Threads::Threads)

    # The host's entry points must be visible to dlsym in every program of the runner: the
    # whole host archive is linked so that none is dropped for lack of a direct reference.
    add_library(workbook_runner OBJECT ${RUNNER_SOURCES})
    target_include_directories(workbook_runner PUBLIC ${PROJECT_SOURCE_DIR}/host/workbook)
    target_compile_definitions(workbook_runner PRIVATE _GNU_SOURCE)
    target_link_libraries(workbook_runner PUBLIC platform $<LINK_LIBRARY:WHOLE_ARCHIVE,xlhost>)

    add_executable(xllhost ${XLLHOST_MAIN})
    target_link_libraries(xllhost PRIVATE workbook_runner platform)
    set_target_properties(xllhost PROPERTIES ENABLE_EXPORTS ON)
else()
    # The host is a real XLCALL32.DLL exporting Excel4 (cdecl) and Excel4v (stdcall)
    # undecorated, plus its C++ control API. MdCallBack12 belongs to the host program's main
    # module: a program links xlhost_mdcallback12 and exports it (host/xllhost.def), and so
    # reaches the one host inside the DLL.
    set(XLHOST_CALLBACK12 ${PROJECT_SOURCE_DIR}/host/HostMdCallBack12.cpp)
    list(REMOVE_ITEM XLHOST_SOURCES ${XLHOST_CALLBACK12})
    add_library(xlhost SHARED ${XLHOST_SOURCES})
    set_target_properties(xlhost PROPERTIES OUTPUT_NAME XLCALL32 PREFIX "")
    target_include_directories(xlhost PUBLIC ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(xlhost PUBLIC excel_records Threads::Threads)
    # Every symbol of the host's own objects, none of the static runtimes linked into it.
    target_link_options(xlhost PRIVATE -Wl,--kill-at -Wl,--export-all-symbols
                        -Wl,--exclude-libs,ALL)
    add_library(xlhost_mdcallback12 OBJECT ${XLHOST_CALLBACK12})
    target_link_libraries(xlhost_mdcallback12 PUBLIC xlhost)
    target_link_options(xlhost_mdcallback12 INTERFACE -Wl,--kill-at)

    # xllhost.exe: the same workbook program over the real Windows API. The host lives in
    # XLCALL32.DLL beside it, where the add-in's LoadLibraryA("XLCALL32.DLL") finds the copy
    # already loaded; the program itself exports MdCallBack12 (host/xllhost.def), as Excel's
    # main module does.
    add_executable(xllhost ${RUNNER_SOURCES} ${XLLHOST_MAIN})
    target_include_directories(xllhost PRIVATE ${PROJECT_SOURCE_DIR}/host/workbook)
    # pthread: xllhost --threads calls the add-in from several threads (winpthreads).
    target_link_libraries(xllhost PRIVATE platform xlhost_mdcallback12 xlhost psapi pthread)
    # CMake hands .def files only to libraries: give it to the linker as an input.
    target_link_options(xllhost PRIVATE -static -static-libgcc -static-libstdc++
                        ${PROJECT_SOURCE_DIR}/host/xllhost.def)
    set_property(TARGET xllhost APPEND PROPERTY LINK_DEPENDS
                 ${PROJECT_SOURCE_DIR}/host/xllhost.def)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_link_options(xllhost PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
endif()
