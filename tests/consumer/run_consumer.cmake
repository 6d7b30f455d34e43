# Installs the built library into a scratch prefix and builds a consumer
# project against it with find_package(NorvekCrypto CONFIG).
file(REMOVE_RECURSE ${SCRATCH_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${NORVEK_BUILD_DIR} --prefix ${SCRATCH_DIR}/prefix
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${SCRATCH_DIR}/build -G Ninja
  -DCMAKE_PREFIX_PATH=${SCRATCH_DIR}/prefix -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${SCRATCH_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build failed: ${rc}")
endif()
execute_process(COMMAND ${SCRATCH_DIR}/build/consumer RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer run failed: ${rc}")
endif()
