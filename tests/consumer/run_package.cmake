# Package checks run as ctest scripts, by MODE:
#   install       install the built tree into a scratch prefix, then build and
#                 run consumer/ against it with find_package(NorvekCrypto)
#                 (C++, C, the README's example, the bare object);
#   subdirectory  configure subproject/, which add_subdirectory()s this tree
#                 with the test and benchmark packages made unfindable;
#                 configuring is the check (the code is the release build's).
function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${what} failed: ${rc}")
  endif()
endfunction()

# A cross build hands over its toolchain file and emulator (CONSUMER_TOOLCHAIN,
# CONSUMER_EMULATOR, a command line); the programs then run under the emulator.
if(CONSUMER_TOOLCHAIN)
  set(compilers -DCMAKE_TOOLCHAIN_FILE=${CONSUMER_TOOLCHAIN})
else()
  set(compilers -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER} -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
endif()
list(APPEND compilers "-DCMAKE_CXX_FLAGS=${CONSUMER_FLAGS}")
separate_arguments(emulator UNIX_COMMAND "${CONSUMER_EMULATOR}")
file(REMOVE_RECURSE ${SCRATCH_DIR})

if(MODE STREQUAL "install")
  # The README's example is its first cpp block.
  file(READ ${README} readme)
  string(FIND "${readme}" "```cpp\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "no cpp example in ${README}")
  endif()
  math(EXPR start "${start} + 7")
  string(SUBSTRING "${readme}" ${start} -1 rest)
  string(FIND "${rest}" "```" end)
  string(SUBSTRING "${rest}" 0 ${end} example)
  file(WRITE ${SCRATCH_DIR}/readme_example.cpp "${example}")

  step(install ${CMAKE_COMMAND} --install ${NORVEK_BUILD_DIR} --prefix ${SCRATCH_DIR}/prefix)
  step(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${SCRATCH_DIR}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${SCRATCH_DIR}/prefix -DREADME_EXAMPLE=${SCRATCH_DIR}/readme_example.cpp
    ${compilers})
  step(build ${CMAKE_COMMAND} --build ${SCRATCH_DIR}/build --parallel 2)
  foreach(program consumer consumer_c readme_example consumer_object)
    step(${program} ${emulator} ${SCRATCH_DIR}/build/${program})
  endforeach()
elseif(MODE STREQUAL "subdirectory")
  step(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/subproject -B ${SCRATCH_DIR} -G Ninja
    -DNORVEK_SOURCE_DIR=${NORVEK_SOURCE_DIR}
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON ${compilers})
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
