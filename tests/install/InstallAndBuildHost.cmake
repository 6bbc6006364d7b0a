# cmake -P script: install, configure and build the host against the install, run it.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
    endif()
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${HOST_BUILD})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
set(hostOptions -DCMAKE_PREFIX_PATH=${PREFIX})
if(SANITIZE)
    # An instrumented library needs the sanitizer runtime linked into the program that loads it.
    list(APPEND hostOptions -DCMAKE_CXX_FLAGS=-fsanitize=address,undefined
                            -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined)
endif()
run(${CMAKE_COMMAND} -S ${HOST_SOURCE} -B ${HOST_BUILD} -G ${GENERATOR} ${hostOptions})
run(${CMAKE_COMMAND} --build ${HOST_BUILD})
run(${HOST_BUILD}/lydevice-host)
