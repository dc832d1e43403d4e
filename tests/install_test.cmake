# Configures and builds a package build of the same sources in the scratch
# folder, installs it into a scratch prefix, runs the installed tool on the
# example and compares it with the built one; then packages it into the three
# Debian packages, checks their file lists and the library's symbols file, and
# runs lintian on them. Nothing is installed from the build folder itself:
# `sudo cmake --install` leaves a root-owned install_manifest.txt there, which
# an install as the user then cannot write. The scratch folder is removed on
# success and kept on failure.
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
    set(packaging_tool_missing TRUE PARENT_SCOPE)
  endif()
endfunction()

file(REMOVE_RECURSE ${SCRATCH})
# The package build, as the README's Install section makes it.
set(package_build ${SCRATCH}/package-build)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${package_build}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_C_COMPILER=${CC}
                        -DCIRCTHRESH_STATIC=OFF -DCIRCTHRESH_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
                        -DCIRCTHRESH_MAINTAINER=${MAINTAINER}
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${package_build}
                  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
endif()
if(NOT status EQUAL 0)
  fail("package build failed: ${status}\n${log}")
endif()
set(prefix ${SCRATCH}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${package_build} --prefix ${prefix}
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
file(STRINGS ${SOURCE_DIR}/VERSION project_version LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^circthresh \\(${project_version}\\) ")
  fail("packaging/changelog starts '${changelog_head}', but the project is version "
       "${project_version}: add a changelog entry")
endif()

find_packaging_tool(DPKG_DEB dpkg-deb dpkg)
find_packaging_tool(DPKG_SHLIBDEPS dpkg-shlibdeps dpkg-dev)
find_packaging_tool(FILE_PROGRAM file file)
find_packaging_tool(LINTIAN lintian lintian)
# Here, not in the function, whose return() would leave only the function.
if(packaging_tool_missing)
  file(REMOVE_RECURSE ${SCRATCH})
  return()
endif()

get_filename_component(cmake_bin ${CMAKE_COMMAND} DIRECTORY)
execute_process(COMMAND ${cmake_bin}/cpack -B ${SCRATCH}/package WORKING_DIRECTORY ${package_build}
                RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
# Each package with the files it must hold (the multiarch library directory
# is whatever the package build chose: lib/ and one more level).
set(lib "usr/lib/[^/ \n]+")
set(expected_circthresh ./usr/bin/circthresh ./usr/share/man/man1/circthresh.1.gz
    ./usr/share/doc/circthresh/copyright ./usr/share/doc/circthresh/changelog.gz)
set(expected_libcircthresh1 "./${lib}/libcircthresh.so.1 -> libcircthresh.so.${project_version}"
    ./${lib}/libcircthresh.so.${project_version}
    ./usr/share/doc/libcircthresh1/copyright ./usr/share/doc/libcircthresh1/changelog.gz)
set(expected_libcircthresh-dev ./usr/include/circthresh.h ./usr/include/circthresh_version.h
    "./${lib}/libcircthresh.so -> libcircthresh.so.1" ./${lib}/pkgconfig/circthresh.pc
    ./${lib}/cmake/circthresh/circthreshConfig.cmake
    ./${lib}/cmake/circthresh/circthreshTargets.cmake
    ./usr/share/doc/libcircthresh-dev/copyright ./usr/share/doc/libcircthresh-dev/changelog.gz)
# A build without the Python module makes these three packages and no other.
file(GLOB all_packages RELATIVE ${SCRATCH}/package ${SCRATCH}/package/*.deb)
list(LENGTH all_packages count)
if(status EQUAL 0 AND NOT count EQUAL 3)
  fail("package build made ${count} packages, not 3: ${all_packages}")
endif()
set(packages "")
foreach(name circthresh libcircthresh1 libcircthresh-dev)
  file(GLOB package ${SCRATCH}/package/${name}_*.deb)
  list(LENGTH package count)
  if(NOT status EQUAL 0 OR NOT count EQUAL 1)
    fail("package build failed (${name}): ${status}\n${log}")
  endif()
  list(APPEND packages ${package})
  execute_process(COMMAND ${DPKG_DEB} -c ${package} OUTPUT_VARIABLE contents)
  foreach(file ${expected_${name}})
    if(NOT contents MATCHES " ${file}\n")
      fail("${name} lacks ${file}:\n${contents}")
    endif()
  endforeach()
endforeach()

# The symbols file names exactly the functions the header declares, which
# are the ones the library exports (c_example_test.sh).
file(STRINGS ${SOURCE_DIR}/include/circthresh.h declarations REGEX "^CIRCTHRESH_API ")
string(REGEX MATCHALL "circthresh_[a-z_]+\\(" declared "${declarations}")
string(REPLACE "(" "" declared "${declared}")
list(GET packages 1 library_package)
execute_process(COMMAND ${DPKG_DEB} -I ${library_package} symbols OUTPUT_VARIABLE symbols_file)
string(REGEX MATCHALL "\n (circthresh_[a-z_]+)@Base" listed "${symbols_file}")
string(REGEX REPLACE "\n |@Base" "" listed "${listed}")
list(SORT declared)
list(SORT listed)
if(NOT declared OR NOT listed STREQUAL declared)
  fail("the symbols file lists '${listed}', the header declares '${declared}'")
endif()

# The Maintainer field of every package: the one named at configure time, else
# the signer of the changelog's latest entry.
file(STRINGS ${SOURCE_DIR}/packaging/changelog latest_signature REGEX "^ -- " LIMIT_COUNT 1)
foreach(package ${packages})
  execute_process(COMMAND ${DPKG_DEB} -f ${package} Maintainer OUTPUT_VARIABLE maintainer
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(MAINTAINER AND NOT maintainer STREQUAL MAINTAINER)
    fail("${package}: maintainer '${maintainer}', configured as '${MAINTAINER}'")
  endif()
  string(FIND "${latest_signature}" " -- ${maintainer}  " signed)
  if(NOT MAINTAINER AND NOT signed EQUAL 0)
    fail("${package}: maintainer '${maintainer}' did not sign the changelog's latest entry: "
         "${latest_signature}")
  endif()
endforeach()

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
