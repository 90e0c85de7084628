# Installs the build into a fresh prefix and uses what was installed as another project would:
# builds and runs a consumer of find_package(Velmora), runs the installed tool, and, when the
# Python module was built, imports the installed package. Run by CTest with
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... [-DPYTHON=...
#         -DPYTHON_DIR=...] -P install_test.cmake
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGV}\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install/consumer -B ${WORK_DIR}/consumer
    -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer ${SOURCE_DIR}/examples/diamond.txt)
run(${prefix}/bin/velmora --problem ${SOURCE_DIR}/examples/triangle.txt --B 8 --N 10 --x 2 --y 1)
if(PYTHON)
  run(${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_DIR} ${PYTHON} -c
      "import velmora; assert velmora.__file__.startswith('${prefix}/'); \
assert velmora.estimate([(0, 1), (1, 2), (2, 0)], 2, 1, budget=8).value == 7")
endif()
