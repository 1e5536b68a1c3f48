target_link_libraries(test_${name} PRIVATE mv_base mv_platform_headless)
