target_link_libraries(make-demo-data PRIVATE mv_authoring mv_stream mv_imageio)
