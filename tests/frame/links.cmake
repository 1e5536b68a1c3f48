# Well-formed frames are laid out by the authoring writer.
target_link_libraries(test_${name} PRIVATE mv_authoring)
