# The SDL backend's own functions when it is built; the end-to-end tests run
# the player under a virtual X server, read the root window with Xlib and
# write their demonstration data with the authoring library.
target_link_libraries(test_${name} PRIVATE mv_authoring mv_imageio)
if(TARGET mv_platform_sdl)
  target_link_libraries(test_${name} PRIVATE mv_platform_sdl)
  target_compile_definitions(test_${name} PRIVATE MV_HAVE_SDL)
endif()
find_package(X11)
if(X11_FOUND)
  target_include_directories(test_${name} PRIVATE ${X11_INCLUDE_DIR})
  target_link_libraries(test_${name} PRIVATE ${X11_LIBRARIES})
  target_compile_definitions(test_${name} PRIVATE MV_HAVE_X11)
endif()
foreach(tool morvane-demos)
  if(TARGET ${tool})
    add_dependencies(test_${name} ${tool})
  endif()
endforeach()
# The end-to-end harness's folders, data files and the player's path.
target_sources(test_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e/player_harness.cc)
