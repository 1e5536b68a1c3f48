# The sound images and track scripts come from the authoring library.
target_link_libraries(test_${name} PRIVATE mv_authoring)
