# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Base64 component of BUILD_DIR into a fresh prefix under WORK_DIR, then
# configures, builds and runs the consumer project against that prefix only, and builds it
# once more by hand with the flags pkg-config gives.
foreach(var BUILD_DIR WORK_DIR SOURCE_DIR GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component Base64)

file(GLOB_RECURSE libs LIST_DIRECTORIES false "${prefix}/*/libBase64.so*")
list(LENGTH libs count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "expected libBase64.so, its SONAME link and the library: ${libs}")
endif()
list(GET libs 0 lib)
get_filename_component(libdir ${lib} DIRECTORY)
foreach(f IN ITEMS include/Base64.h)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}"
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)

# The library needs nothing but the C++ runtime: no run path of its own.
find_program(READELF readelf)
if(READELF)
  file(GLOB real "${libdir}/libBase64.so.*.*")
  execute_process(COMMAND ${READELF} -d ${real} OUTPUT_VARIABLE dynamic)
  if(dynamic MATCHES "R(UN)?PATH")
    message(FATAL_ERROR "libBase64 carries a run path:\n${dynamic}")
  endif()
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig
      ${PKG_CONFIG} --cflags --libs base64
    OUTPUT_VARIABLE pc_flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know base64")
  endif()
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
  run(${CXX_COMPILER} -std=c++20 ${extra} ${SOURCE_DIR}/main.cpp ${pc_flags}
      -o ${WORK_DIR}/pc-consumer)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${WORK_DIR}/pc-consumer)
endif()
