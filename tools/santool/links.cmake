find_package(CLI11 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(santool PRIVATE mv_engines mv_anim mv_frame mv_stream mv_timer mv_display mv_text
                      mv_sound mv_decoder mv_base mv_platform mv_imageio CLI11::CLI11
                      nlohmann_json::nlohmann_json)
target_include_directories(santool PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tools)
