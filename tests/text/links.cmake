# The font and string-file writers build the test data.
target_link_libraries(test_${name} PRIVATE mv_authoring mv_platform)
