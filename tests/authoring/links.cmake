# Round trips through the player's decoder once it is built from sources.
get_target_property(mv_decoder_type mv_decoder TYPE)
if(mv_decoder_type STREQUAL "STATIC_LIBRARY")
  target_link_libraries(test_${name} PRIVATE mv_decoder)
  target_compile_definitions(test_${name} PRIVATE MV_WITH_DECODER=1)
endif()
