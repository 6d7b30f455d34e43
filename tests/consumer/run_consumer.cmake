# Installs the built library into a scratch prefix and builds a consumer
# project against it with find_package(NorvekCrypto CONFIG). A cross build
# hands over its toolchain file and emulator (CONSUMER_TOOLCHAIN,
# CONSUMER_EMULATOR, a command line); the consumer then runs under the emulator.
separate_arguments(emulator UNIX_COMMAND "${CONSUMER_EMULATOR}")
set(toolchain_arg)
if(CONSUMER_TOOLCHAIN)
  set(toolchain_arg -DCMAKE_TOOLCHAIN_FILE=${CONSUMER_TOOLCHAIN})
else()
  set(toolchain_arg -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER})
endif()
file(REMOVE_RECURSE ${SCRATCH_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${NORVEK_BUILD_DIR} --prefix ${SCRATCH_DIR}/prefix
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${SCRATCH_DIR}/build -G Ninja
  -DCMAKE_PREFIX_PATH=${SCRATCH_DIR}/prefix ${toolchain_arg}
  "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer configure failed: ${rc}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${SCRATCH_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer build failed: ${rc}")
endif()
execute_process(COMMAND ${emulator} ${SCRATCH_DIR}/build/consumer RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "consumer run failed: ${rc}")
endif()
