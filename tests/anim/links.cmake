# The fixture starts the engines the way the session does.
target_link_libraries(test_${name} PRIVATE mv_engines)
