# Package checks run as ctest scripts, by MODE:
#   install       install the built tree into a scratch prefix, then build and
#                 run consumer/ against it with find_package(NorvekCrypto)
#                 (C++, C, the README's example); link the bare object as the
#                 README says into C and -fno-exceptions C++ programs, PIE and
#                 not, with each compiler at hand; and check that an app can't
#                 reach the test-only path switches in any installed library;
#   subdirectory  configure subproject/, which add_subdirectory()s this tree
#                 with the test and benchmark packages made unfindable;
#                 configuring is the check (the code is the release build's).
cmake_minimum_required(VERSION 3.25)

# The linker's messages are matched below in English; untranslated, whatever
# the caller's locale.
set(ENV{LC_ALL} C)
unset(ENV{LANGUAGE})

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${what} failed: ${rc}")
  endif()
endfunction()

# Runs a compile or link that must succeed without a word: any warning
# (a linker's included) fails the check.
function(quiet_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc OR NOT out STREQUAL "")
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${what} failed (${rc}):\n${command}\n${out}")
  endif()
endfunction()

# The README's bare-object recipe: the object, the platform archive and
# libcrypto; a C program adds the C++ runtime (-lstdc++). `kind` is c or cxx.
function(bare_object_link kind cc cxx pie out)
  set(lib ${prefix}/${libdir})
  set(objects ${lib}/norvek_crypto.o ${lib}/libnorvek_platform.a -L${CONSUMER_CRYPTO_DIR} -lcrypto)
  if(kind STREQUAL "c")
    quiet_step("${out}" ${cc} ${flags} ${pie} -I${prefix}/include ${SOURCE_DIR}/consumer/main.c
      ${objects} -lstdc++ -o ${out})
  else()
    quiet_step("${out}" ${cxx} ${flags} ${pie} -std=c++20 -fno-exceptions -I${prefix}/include
      ${SOURCE_DIR}/consumer/main.cpp ${objects} -o ${out})
  endif()
  step(${out} ${emulator} ${out})
endfunction()

# A program declaring the switches must fail to link against `libraries`,
# for the switches' sake and nothing else.
function(switches_unreachable what)
  set(probe ${SCRATCH_DIR}/force_path)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${flags} -std=c++20 ${SOURCE_DIR}/consumer/force_path.cpp
      ${ARGN} -L${CONSUMER_CRYPTO_DIR} -lcrypto -o ${probe}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc)
    message(FATAL_ERROR "an app forcing a path links against ${what}")
  endif()
  foreach(name "norvek_aes_force_path" "norvek_internal::sha1_force_path")
    if(NOT out MATCHES "undefined reference to `${name}\\(")
      message(FATAL_ERROR "linking the path-forcing app against ${what} failed otherwise:\n${out}")
    endif()
  endforeach()
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
  foreach(program consumer consumer_c readme_example)
    step(${program} ${emulator} ${SCRATCH_DIR}/build/${program})
  endforeach()

  set(prefix ${SCRATCH_DIR}/prefix)
  file(GLOB object RELATIVE ${prefix} ${prefix}/lib*/norvek_crypto.o)
  cmake_path(GET object PARENT_PATH libdir)
  separate_arguments(flags UNIX_COMMAND "${CONSUMER_FLAGS}")
  # The build's own compilers; natively and without extra flags also every
  # other one installed (sanitizer and coverage runtimes differ between
  # compilers: an object built for one links only with its own).
  set(pairs "${CMAKE_C_COMPILER}|${CMAKE_CXX_COMPILER}")
  if(NOT CONSUMER_TOOLCHAIN AND "${CONSUMER_FLAGS}" STREQUAL "")
    foreach(pair "gcc|g++" "clang|clang++")
      string(REPLACE "|" ";" names "${pair}")
      list(GET names 0 cc_name)
      list(GET names 1 cxx_name)
      find_program(cc_${cc_name} ${cc_name})
      find_program(cxx_${cxx_name} ${cxx_name})
      if(cc_${cc_name} AND cxx_${cxx_name})
        list(APPEND pairs "${cc_${cc_name}}|${cxx_${cxx_name}}")
      endif()
    endforeach()
  endif()
  set(seen "")
  foreach(pair IN LISTS pairs)
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 cc)
    list(GET pair 1 cxx)
    file(REAL_PATH ${cxx} real)
    if(real IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${real})
    cmake_path(GET cxx FILENAME tag)
    foreach(pie "-fPIE;-pie" "-fno-pie;-no-pie")
      list(GET pie 1 pie_tag)
      foreach(kind c cxx)
        bare_object_link(${kind} ${cc} ${cxx} "${pie}" ${SCRATCH_DIR}/bare_${kind}_${tag}${pie_tag})
      endforeach()
    endforeach()
  endforeach()

  list(JOIN seen ", " used)
  message(STATUS "bare object: C and -fno-exceptions C++ mains, PIE and non-PIE, with ${used}: ok")

  switches_unreachable("the installed archive"
    ${prefix}/${libdir}/libnorvek_crypto.a ${prefix}/${libdir}/libnorvek_platform.a)
  switches_unreachable("the bare object"
    ${prefix}/${libdir}/norvek_crypto.o ${prefix}/${libdir}/libnorvek_platform.a)
  message(STATUS "path switches: out of an app's reach in the archive and the object")
elseif(MODE STREQUAL "subdirectory")
  step(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/subproject -B ${SCRATCH_DIR} -G Ninja
    -DNORVEK_SOURCE_DIR=${NORVEK_SOURCE_DIR}
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON ${compilers})
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
