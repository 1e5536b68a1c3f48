target_link_libraries(test_${name} PRIVATE mv_base mv_platform_headless)
# The text tests build their frames with the authoring library.
target_link_libraries(test_${name} PRIVATE mv_authoring)
