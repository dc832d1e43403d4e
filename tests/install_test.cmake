# Installs the build into a scratch prefix, runs the installed tool on the
# example and compares it with the built one; then configures a package build
# of the same sources, packages it, checks the package's file list and runs
# lintian on it. The scratch folder is removed on success and kept on failure.
function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}\n(scratch files kept in ${SCRATCH})")
endfunction()

# Outside CI a missing packaging tool skips the package check with a message;
# CI installs them (tools/install-deps.sh), so there a missing one fails.
function(find_packaging_tool variable name package)
  find_program(${variable} ${name})
  if(NOT ${variable})
    if("$ENV{CI}" STREQUAL "true")
      fail("${name} not found: install ${package}")
    endif()
    message(STATUS "${name} not found: package not checked (install ${package}, "
                   "or run bash tools/install-deps.sh)")
    file(REMOVE_RECURSE ${SCRATCH})
    return()
  endif()
  set(${variable} ${${variable}} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${SCRATCH})
set(prefix ${SCRATCH}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  fail("install failed: ${status}")
endif()
foreach(file bin/circthresh share/man/man1/circthresh.1
             share/doc/circthresh/copyright share/doc/circthresh/changelog)
  if(NOT EXISTS ${prefix}/${file})
    fail("not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND ${prefix}/bin/circthresh ${EXAMPLE} ${SCRATCH}/installed.pgm
                RESULT_VARIABLE status OUTPUT_VARIABLE installed_report)
execute_process(COMMAND ${BUILT_TOOL} ${EXAMPLE} ${SCRATCH}/built.pgm OUTPUT_VARIABLE built_report)
if(NOT status EQUAL 0 OR NOT installed_report STREQUAL built_report
   OR NOT installed_report MATCHES "^thresholding at [0-9]+\nsigma_W [0-9.]+\n$")
  fail("installed tool: status ${status}, report '${installed_report}'")
endif()
file(READ ${SCRATCH}/installed.pgm installed_image HEX)
file(READ ${SCRATCH}/built.pgm built_image HEX)
if(NOT installed_image STREQUAL built_image)
  fail("the installed tool wrote a different image")
endif()

# The package states the changelog's latest version.
file(STRINGS ${SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt project_line REGEX "^project\\(")
string(REGEX MATCH "VERSION ([0-9.]+)" _ "${project_line}")
if(NOT changelog_head MATCHES "^circthresh \\(${CMAKE_MATCH_1}\\) ")
  fail("packaging/changelog starts '${changelog_head}', but the project is version "
       "${CMAKE_MATCH_1}: add a changelog entry")
endif()

find_packaging_tool(DPKG_DEB dpkg-deb dpkg)
find_packaging_tool(DPKG_SHLIBDEPS dpkg-shlibdeps dpkg-dev)
find_packaging_tool(FILE_PROGRAM file file)
find_packaging_tool(LINTIAN lintian lintian)

# The package build, as the README's Install section makes it.
set(package_build ${SCRATCH}/package-build)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${package_build}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCIRCTHRESH_STATIC=OFF -DCIRCTHRESH_TESTS=OFF
                        -DCIRCTHRESH_MAINTAINER=${MAINTAINER}
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${package_build} --target circthresh
                  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
endif()
if(status EQUAL 0)
  get_filename_component(cmake_bin ${CMAKE_COMMAND} DIRECTORY)
  execute_process(COMMAND ${cmake_bin}/cpack -B ${SCRATCH}/package WORKING_DIRECTORY ${package_build}
                  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
endif()
file(GLOB packages ${SCRATCH}/package/*.deb)
list(LENGTH packages count)
if(NOT status EQUAL 0 OR NOT count EQUAL 1)
  fail("package build failed: ${status}\n${log}")
endif()

execute_process(COMMAND ${DPKG_DEB} -c ${packages} OUTPUT_VARIABLE contents)
foreach(file ./usr/bin/circthresh ./usr/share/man/man1/circthresh.1.gz
             ./usr/share/doc/circthresh/copyright ./usr/share/doc/circthresh/changelog.gz)
  if(NOT contents MATCHES " ${file}\n")
    fail("package lacks ${file}:\n${contents}")
  endif()
endforeach()

# The Maintainer field: the one named at configure time, else the signer of the
# changelog's latest entry.
execute_process(COMMAND ${DPKG_DEB} -f ${packages} Maintainer OUTPUT_VARIABLE maintainer
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(STRINGS ${SOURCE_DIR}/packaging/changelog latest_signature REGEX "^ -- " LIMIT_COUNT 1)
if(MAINTAINER AND NOT maintainer STREQUAL MAINTAINER)
  fail("package maintainer '${maintainer}', configured as '${MAINTAINER}'")
endif()
string(FIND "${latest_signature}" " -- ${maintainer}  " signed)
if(NOT MAINTAINER AND NOT signed EQUAL 0)
  fail("package maintainer '${maintainer}' did not sign the changelog's latest entry: ${latest_signature}")
endif()

# Lintian's findings go to standard output; CI runs as root, which lintian
# advises against on standard error, and that advice is all it may add there.
# Its caches go into the scratch folder, which goes on success.
file(MAKE_DIRECTORY ${SCRATCH}/tmp)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${SCRATCH}/tmp ${LINTIAN} ${packages}
                RESULT_VARIABLE status OUTPUT_VARIABLE findings ERROR_VARIABLE errors)
string(REPLACE "running with root privileges is not recommended!\n" "" errors "${errors}")
if(NOT status EQUAL 0 OR NOT findings STREQUAL "" OR NOT errors STREQUAL "")
  fail("lintian: status ${status}\n${findings}${errors}")
endif()

file(REMOVE_RECURSE ${SCRATCH})
