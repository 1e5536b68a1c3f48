find_package(ZLIB REQUIRED)  # gzip-compressed console fonts made by the tests
target_link_libraries(test_santool PRIVATE mv_imageio mv_authoring mv_text ZLIB::ZLIB)
target_include_directories(test_santool PRIVATE ${PROJECT_SOURCE_DIR}/tools)
add_dependencies(test_santool santool make-demo-data)
