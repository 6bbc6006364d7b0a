# cmake -P script: installs the package twice, whole and without its Simulator component, and
# builds and runs hosts against the installs.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(bare ${WORK_DIR}/prefix-without-simulator)
file(REMOVE_RECURSE ${prefix} ${bare} ${WORK_DIR}/host-build ${WORK_DIR}/simhost-build ${WORK_DIR}/simhost-bare
    ${WORK_DIR}/pkg-config-host)
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

# pkg-config: the Qt the library was built with, and flags that build and link the first host
# (Qt asks its users for -fPIC).
set(pkgConfig ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig pkg-config)
run(${pkgConfig} --print-requires lydevice)
if(NOT out MATCHES "^Qt${QT_MAJOR}Core\nQt${QT_MAJOR}Gui\n$")
    message(FATAL_ERROR "lydevice.pc requires \"${out}\", not Qt${QT_MAJOR}Core and Qt${QT_MAJOR}Gui")
endif()
run(${pkgConfig} --cflags --libs lydevice lyio)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CXX} -std=c++17 -fPIC ${sanitize} ${HOST_SOURCES}/host/main.cpp -o ${WORK_DIR}/pkg-config-host ${flags}
    -Wl,-rpath,${prefix}/lib)
run(${WORK_DIR}/pkg-config-host)
