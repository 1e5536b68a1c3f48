# The player runs as a subprocess; the tests write its data with the
# authoring library and read its captures back.
target_link_libraries(test_${name} PRIVATE mv_authoring mv_imageio)
if(TARGET morvane-demos)
  add_dependencies(test_${name} morvane-demos)
endif()
