# Builds each of TARGETS and expects it to fail because the matching entry
# of HEADERS is not found; any other outcome fails the test.
set(failures "")
foreach(target header IN ZIP_LISTS TARGETS HEADERS)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status EQUAL 0)
    string(APPEND failures "${target}: compiled, the layer sees ${header}\n")
  elseif(NOT output MATCHES "${header}: No such file")
    string(APPEND failures "${target}: failed for another reason:\n${output}\n")
  else()
    message(STATUS "${target}: refused (${header} not found)")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
