# Additions to the test build that the per-area globs do not cover.
# ferryreg: the tests drive the tool's parser, writer and commands directly
# and also run the built program (found through FERRY_BINARY_DIR).
if(TARGET ferryreg_tests)
  target_link_libraries(ferryreg_tests PRIVATE ferryreg_core)
  if(TARGET ferryreg)
    add_dependencies(ferryreg_tests ferryreg)
  endif()
endif()

# console: the value library, the console's logic and its window.
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/console/CMakeLists.txt AND TARGET ferry_console_model)
  add_subdirectory(console)
endif()
