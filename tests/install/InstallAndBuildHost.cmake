# cmake -P script: installs the package twice, whole and without its Simulator component, and
# builds and runs hosts against the installs.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(bare ${WORK_DIR}/prefix-without-simulator)
file(REMOVE_RECURSE ${prefix} ${bare} ${WORK_DIR}/host-build ${WORK_DIR}/simhost-build ${WORK_DIR}/simhost-bare)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${bare} --component Unspecified)
set(hostOptions -G ${GENERATOR})
if(SANITIZE)
    # An instrumented library needs the sanitizer runtime linked into the program that loads it.
    set(sanitize -fsanitize=address,undefined)
    list(APPEND hostOptions -DCMAKE_CXX_FLAGS=${sanitize} -DCMAKE_EXE_LINKER_FLAGS=${sanitize})
endif()

# The host that asks for no component, against the install that lacks the simulator.
run(${CMAKE_COMMAND} -S ${HOST_SOURCES}/host -B ${WORK_DIR}/host-build ${hostOptions} -DCMAKE_PREFIX_PATH=${bare})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host-build)
run(${WORK_DIR}/host-build/lydevice-host)

# Asking for the simulator where it is not installed fails in find_package, naming the component.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${HOST_SOURCES}/simhost -B ${WORK_DIR}/simhost-bare ${hostOptions}
    -DCMAKE_PREFIX_PATH=${bare} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0 OR NOT err MATCHES "component Simulator is not installed")
    message(FATAL_ERROR "find_package(LyDevice COMPONENTS Simulator) without the simulator:\n${out}\n${err}")
endif()

# Where it is installed, a host's test runs it in-process and searches it through LyDevice.
run(${CMAKE_COMMAND} -S ${HOST_SOURCES}/simhost -B ${WORK_DIR}/simhost-build ${hostOptions} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/simhost-build)
run(${WORK_DIR}/simhost-build/lydevice-simulator-host)
