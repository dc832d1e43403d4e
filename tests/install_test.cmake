# Installs the build into a scratch prefix, runs the installed tool on the
# example and compares it with the built one, then packages the build and
# checks the package's file list.
file(REMOVE_RECURSE ${SCRATCH})
set(prefix ${SCRATCH}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "install failed: ${status}")
endif()
foreach(file bin/circthresh share/man/man1/circthresh.1)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND ${prefix}/bin/circthresh ${EXAMPLE} ${SCRATCH}/installed.pgm
                RESULT_VARIABLE status OUTPUT_VARIABLE installed_report)
execute_process(COMMAND ${BUILT_TOOL} ${EXAMPLE} ${SCRATCH}/built.pgm OUTPUT_VARIABLE built_report)
if(NOT status EQUAL 0 OR NOT installed_report STREQUAL built_report
   OR NOT installed_report MATCHES "^thresholding at [0-9]+\nsigma_W [0-9.]+\n$")
  message(FATAL_ERROR "installed tool: status ${status}, report '${installed_report}'")
endif()
file(READ ${SCRATCH}/installed.pgm installed_image HEX)
file(READ ${SCRATCH}/built.pgm built_image HEX)
if(NOT installed_image STREQUAL built_image)
  message(FATAL_ERROR "the installed tool wrote a different image")
endif()

find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
  message(STATUS "dpkg-deb not found: package not checked")
  return()
endif()
execute_process(COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -B ${SCRATCH}/package
                RESULT_VARIABLE status OUTPUT_QUIET)
file(GLOB packages ${SCRATCH}/package/*.deb)
if(NOT status EQUAL 0 OR NOT packages)
  message(FATAL_ERROR "cpack failed: ${status}")
endif()
execute_process(COMMAND ${DPKG_DEB} -c ${packages} OUTPUT_VARIABLE contents)
foreach(file ./usr/bin/circthresh ./usr/share/man/man1/circthresh.1)
  if(NOT contents MATCHES " ${file}\n")
    message(FATAL_ERROR "package lacks ${file}:\n${contents}")
  endif()
endforeach()
