# Run by cpack once the package's files are staged: refuses a static build and
# compresses the manual page and the changelog, as Debian wants them.
if(CPACK_CIRCTHRESH_STATIC)
  message(FATAL_ERROR "Debian packages link dynamically: package a build configured with "
                      "-DCIRCTHRESH_STATIC=OFF")
endif()
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
  message(FATAL_ERROR "packaging needs gzip (apt install gzip)")
endif()
set(staged ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share)
foreach(file ${staged}/man/man1/circthresh.1 ${staged}/doc/circthresh/changelog)
  execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -f ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endforeach()
