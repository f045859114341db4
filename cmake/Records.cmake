# excel_records (interface): Excel's value records, type codes, function numbers and the
# add-in's export macros (records/), the one contract the Excel layer, the add-in and the
# substitute host share. Header-only.
#
# XllExport.h declares entry points in Excel's calling convention, WINAPI of the platform's
# WindowsApi.h: the records use the platform's headers. An interface library passes on only
# the platform's usage requirements, never its object files.
add_library(excel_records INTERFACE)
target_include_directories(excel_records INTERFACE ${PROJECT_SOURCE_DIR}/records)
target_link_libraries(excel_records INTERFACE platform)
