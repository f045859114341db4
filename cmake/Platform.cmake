# platform (object library): the Windows API as the Excel layer and the host programs reach
# it (platform/). On Windows the real API with the simulated desktop's controls as no-ops;
# natively substitutes over POSIX. Only platform/ is on its include path: it sees nothing
# of the layer, the host or the records.
#
# Its objects go into every target that links it directly (the layer's archive, the host
# programs, the tests of the workbook runner), so that every substitute is present and, in
# programs that export their symbols, visible to the add-in.
heston_sources(PLATFORM_SOURCES ${PROJECT_SOURCE_DIR}/platform/*.cpp)
add_library(platform OBJECT ${PLATFORM_SOURCES})
target_include_directories(platform PUBLIC ${PROJECT_SOURCE_DIR}/platform)
# Part of the add-in module.
set_target_properties(platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
find_package(Threads REQUIRED)
target_link_libraries(platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})
if(NOT WIN32)
    # Module bases and file names of the native substitutes come from dl_iterate_phdr.
    target_compile_definitions(platform PRIVATE _GNU_SOURCE)
endif()
