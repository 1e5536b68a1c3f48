# The layers test reads docs/ and src/ of this tree when run outside ctest.
target_compile_definitions(test_${name} PRIVATE MV_SOURCE_ROOT="${PROJECT_SOURCE_DIR}")
