# excel_records (interface): Excel's value records, type codes, function numbers and the
# layouts' shared traits (records/), the one contract the Excel layer and the substitute host
# share. Header-only. The add-in reaches records only through the layer, which writes them.
#
# It passes on the platform's usage requirements (an interface library never passes on object
# files), as its users have been built with them.
add_library(excel_records INTERFACE)
target_include_directories(excel_records INTERFACE ${PROJECT_SOURCE_DIR}/records)
target_link_libraries(excel_records INTERFACE platform)
