# The Excel interface layer (src/ over platform/) and the substitute Excel host (host/).
#
# xlf     static library: src/*.cpp and platform/*.cpp; include directories src and platform.
# xlhost  static library: host/*.cpp except program main files (*Main.cpp); the host answers
#         requests through the exported C entry points Excel4, Excel4v and MdCallBack12.
# Tests   tests/excel/*_test.cpp, each linked to xlf and xlhost. They export their symbols
#         (ENABLE_EXPORTS) so that LoadLibraryA("XLCALL32.DLL") and GetProcAddress find the
#         host's entry points in the running executable, as Excel's process would offer them.
file(GLOB XLF_SOURCES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/platform/*.cpp)
file(GLOB XLHOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/host/*.cpp)
list(FILTER XLHOST_SOURCES EXCLUDE REGEX "Main\\.cpp$")

find_package(Threads REQUIRED)

if(XLF_SOURCES)
    add_library(xlf STATIC ${XLF_SOURCES})
    target_include_directories(xlf PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/platform)
    target_link_libraries(xlf PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
    if(NOT WIN32)
        # Module bases and file names of the native platform layer come from dl_iterate_phdr.
        target_compile_definitions(xlf PRIVATE _GNU_SOURCE)
    endif()
endif()

if(XLHOST_SOURCES AND NOT WIN32)
    add_library(xlhost STATIC ${XLHOST_SOURCES})
    target_include_directories(xlhost PUBLIC ${PROJECT_SOURCE_DIR}/host ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(xlhost PUBLIC Threads::Threads)
elseif(XLHOST_SOURCES)
    # Windows: the host is a real XLCALL32.DLL exporting Excel4 (cdecl) and Excel4v (stdcall)
    # undecorated, plus its C++ control API. MdCallBack12 belongs to the host program's main
    # module: a program links xlhost_mdcallback12 and exports it (host/xllhost.def), and so
    # reaches the one host inside the DLL.
    set(XLHOST_CALLBACK12 ${PROJECT_SOURCE_DIR}/host/HostMdCallBack12.cpp)
    list(REMOVE_ITEM XLHOST_SOURCES ${XLHOST_CALLBACK12})
    add_library(xlhost SHARED ${XLHOST_SOURCES})
    set_target_properties(xlhost PROPERTIES OUTPUT_NAME XLCALL32 PREFIX "")
    target_include_directories(xlhost PUBLIC ${PROJECT_SOURCE_DIR}/host ${PROJECT_SOURCE_DIR}/src)
    # Every symbol of the host's own objects, none of the static runtimes linked into it.
    target_link_options(xlhost PRIVATE -Wl,--kill-at -Wl,--export-all-symbols
                        -Wl,--exclude-libs,ALL)
    add_library(xlhost_mdcallback12 OBJECT ${XLHOST_CALLBACK12})
    target_link_libraries(xlhost_mdcallback12 PUBLIC xlhost)
    target_link_options(xlhost_mdcallback12 INTERFACE -Wl,--kill-at)
endif()

if(HESTON_TESTS AND TARGET xlf AND NOT WIN32)
    set(XLF_TEST_PATTERN ${PROJECT_SOURCE_DIR}/tests/excel/*_test.cpp)
    heston_add_tests(${XLF_TEST_PATTERN} LIBRARIES xlf)
    file(GLOB XLF_TEST_SOURCES CONFIGURE_DEPENDS ${XLF_TEST_PATTERN})
    foreach(source IN LISTS XLF_TEST_SOURCES)
        get_filename_component(name ${source} NAME_WE)
        # The host's entry points must be visible to dlsym in the test executable; link the
        # whole host archive so that none of them is dropped for lack of a direct reference.
        set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
        if(TARGET xlhost)
            target_link_libraries(${name} PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,xlhost>)
        endif()
    endforeach()
endif()
