# Regenerates the vector file and compares it byte for byte with the committed one.
execute_process(COMMAND ${NORVEK} vectors -o ${ACTUAL} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "norvek vectors failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${EXPECTED} ${ACTUAL} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "the library's answers changed: ${ACTUAL} differs from ${EXPECTED}. "
    "If the change is deliberate, regenerate the file in a commit that says so.")
endif()
