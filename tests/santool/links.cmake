find_package(ZLIB REQUIRED)  # gzip-compressed console fonts made by the tests
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(test_santool PRIVATE mv_imageio mv_authoring mv_text mv_stream ZLIB::ZLIB
                      nlohmann_json::nlohmann_json)
target_include_directories(test_santool PRIVATE ${PROJECT_SOURCE_DIR}/tools)
add_dependencies(test_santool santool make-demo-data morvane-demos)
# The install rules are checked by running cmake --install into a temporary prefix.
target_compile_definitions(test_santool PRIVATE MV_CMAKE="${CMAKE_COMMAND}")
# The export runs in the test's own process too (allocation refusals).
target_sources(test_santool PRIVATE ${PROJECT_SOURCE_DIR}/tools/santool/export.cc
               ${PROJECT_SOURCE_DIR}/tools/santool/scan.cc)
target_link_libraries(test_santool PRIVATE mv_engines mv_anim mv_frame mv_timer mv_display
                      mv_sound mv_decoder mv_base mv_platform)
