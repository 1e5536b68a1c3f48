# The font and string-file writers build the test data.
target_sources(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools/authoring/nut.cc
                                    ${PROJECT_SOURCE_DIR}/tools/authoring/trs.cc)
target_include_directories(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tools)
target_link_libraries(test_${name} PRIVATE mv_platform)
