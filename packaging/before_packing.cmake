# Run by cpack once the packages' files are staged: refuses a static build,
# compresses the manual pages and the changelogs, as Debian wants them, and
# announces cpack's two warnings to come (debian_package.cmake).
if(CPACK_CIRCTHRESH_STATIC)
  message(FATAL_ERROR "Debian packages link dynamically: package a build configured with "
                      "-DCIRCTHRESH_STATIC=OFF")
endif()
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
  message(FATAL_ERROR "packaging needs gzip (apt install gzip)")
endif()
# Every package's staging folder: one per component.
file(GLOB_RECURSE staged_files LIST_DIRECTORIES false ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*)
list(FILTER staged_files INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
foreach(file ${staged_files})
  execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -f ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endforeach()
message(STATUS "Two \"Adding file to tar ... missing file\" warnings follow, for the library's "
               "postinst and postrm: expected, they keep cpack from adding its own")
