# Compares the settings reference the generator writes now with the committed
# docs/settings.md.  cmake -DGENERATOR=... -DREFERENCE=... -P check_reference.cmake
execute_process(COMMAND ${GENERATOR} --markdown OUTPUT_VARIABLE generated RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "settings_reference --markdown failed (${rc})")
endif()
file(READ ${REFERENCE} committed)
if(NOT generated STREQUAL committed)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/settings.md.generated "${generated}")
  message(FATAL_ERROR "${REFERENCE} differs from the settings table (new text in "
    "${CMAKE_CURRENT_BINARY_DIR}/settings.md.generated). Regenerate it with\n"
    "  ${GENERATOR} --markdown > ${REFERENCE}")
endif()
