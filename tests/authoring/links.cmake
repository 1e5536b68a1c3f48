# Encoded objects are checked by decoding them with the player's decoder.
target_link_libraries(test_${name} PRIVATE mv_decoder)
