# The player runs as a subprocess; the tests write its data with the
# authoring library and read its captures and traces back.
find_package(nlohmann_json 3 REQUIRED)
target_link_libraries(test_${name} PRIVATE mv_authoring mv_imageio nlohmann_json::nlohmann_json)
if(TARGET morvane-demos)
  add_dependencies(test_${name} morvane-demos)
endif()
# The viewer's test compares with santool export on the demonstration data.
foreach(tool santool make-demo-data)
  if(TARGET ${tool})
    add_dependencies(test_${name} ${tool})
  endif()
endforeach()
