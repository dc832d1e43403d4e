# The Debian packages, made by one cpack run from a build configured with
# -DCIRCTHRESH_STATIC=OFF -DCMAKE_INSTALL_PREFIX=/usr (README, Install): one
# package per install component, each declared below with debian_package().

# The maintainer is whoever signed the latest changelog entry, unless the one
# who builds the package names themselves: -DCIRCTHRESH_MAINTAINER="Name <address>".
# The cache holds only such a choice, so that a new signature reaches existing
# build folders too.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog signatures REGEX "^ -- ")
list(GET signatures 0 latest_signature)
string(REGEX REPLACE "^ -- ([^<]+<[^>]+>).*$" "\\1" latest_signer "${latest_signature}")
set(CIRCTHRESH_MAINTAINER "" CACHE STRING
    "Maintainer field of the Debian package, as Name <address>; empty: the latest changelog signer")
set(package_maintainer "${CIRCTHRESH_MAINTAINER}")
if(NOT package_maintainer)
  set(package_maintainer "${latest_signer}")
endif()

# The copyright file in Debian's machine-readable form, made from LICENSE so
# the two cannot drift apart.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)\n\n(.*[^\n])\n*$" licence_parts "${licence}")
set(LICENSE_HOLDERS "${CMAKE_MATCH_1}")
set(LICENSE_TERMS "${CMAKE_MATCH_2}")
string(REPLACE "\n\n" "\n.\n" LICENSE_TERMS "${LICENSE_TERMS}")
string(REPLACE "\n" "\n " LICENSE_TERMS " ${LICENSE_TERMS}")
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME circthresh)
set(CPACK_PACKAGE_VENDOR "circthresh developers")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# All packages come from the one source package circthresh, whose changelog
# each carries.
set(CPACK_DEBIAN_PACKAGE_SOURCE circthresh)
set(CPACK_COMPONENTS_ALL "")

# debian_package(COMPONENT PACKAGE SECTION SUMMARY DESCRIPTION): the install
# component COMPONENT becomes the Debian package PACKAGE, with the copyright
# file and the changelog in its own /usr/share/doc/PACKAGE. Further fields go
# in CPACK_DEBIAN_<COMPONENT>_* variables after the call.
function(debian_package component package section summary description)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_PACKAGE_SECTION ${section} PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_FILE_NAME DEB-DEFAULT PARENT_SCOPE)
  # The first line is the package's synopsis.
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  # The command's copies are installed by cmake --install too; the others
  # only into their package.
  set(package_only EXCLUDE_FROM_ALL)
  if(package STREQUAL PROJECT_NAME)
    set(package_only "")
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_SOURCE_DIR}/packaging/changelog
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component}
          ${package_only})
endfunction()

debian_package(command circthresh graphics
  "binarise a greyscale PGM image by circular Otsu thresholding" [[
circthresh treats the 256 grey levels of an 8-bit binary PGM image as points
on a circle, level 255 next to level 0, and picks the cut of that circle into
two half-circles of 128 levels whose classes of pixels have the least
within-class variance (Otsu's criterion). Pixels in the chosen half-circle
become black, all others white; the threshold and the variance are reported.

It suits images of quantities that wrap around, such as hue, orientation or
phase, where an ordinary threshold splits an object whose values straddle the
wrap.]])

# The runtime package is named after the SONAME, libcircthresh.so.1.
set(library_package libcircthresh${PROJECT_VERSION_MAJOR})
debian_package(library ${library_package} libs
  "circular Otsu thresholding of 8-bit grey levels (library)" [[
libcircthresh counts the grey levels of an 8-bit image, finds the cut of the
circle of 256 levels into two half-circles of 128 levels with the least
within-class variance (Otsu's criterion), and binarises the image by it: the
same computation as the circthresh command, to the last bit, for programs in
C and any language that calls C. It suits images of quantities that wrap
around, such as hue, orientation or phase.]])
# The library's shlibs file, written here: cpack's own switch for it covers
# every package and warns of the Python module, which has no SONAME.
# The library's exported functions with the version that brought each, for
# dpkg-shlibdeps; ldconfig runs from the trigger, as Debian does it today.
# Listing a postinst and a postrm that do not exist keeps cpack from writing
# its own, which would call ldconfig (lintian: maintscript-calls-ldconfig);
# cpack warns "Adding file to tar: ... missing file" for each, and adds none
# (before_packing.cmake says so first).
# The control files keep their names in the package: copied under them here.
set(control ${PROJECT_BINARY_DIR}/debian-control/${library_package})
file(WRITE ${control}/shlibs
     "libcircthresh ${PROJECT_VERSION_MAJOR} ${library_package} (>= ${PROJECT_VERSION})\n")
configure_file(${PROJECT_SOURCE_DIR}/packaging/${library_package}.symbols ${control}/symbols @ONLY)
file(WRITE ${control}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
  ${control}/shlibs ${control}/symbols ${control}/triggers ${control}/no-such-file/postinst
  ${control}/no-such-file/postrm)

debian_package(development libcircthresh-dev libdevel
  "circular Otsu thresholding of 8-bit grey levels (development files)" [[
The header circthresh.h, which is also the library's manual, the link to the
shared library, a pkg-config file and a CMake package (find_package(circthresh)
gives the target circthresh::circthresh), for building programs on
libcircthresh.]])
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)

if(TARGET circthresh_python)
  debian_package(python python3-circthresh python
    "circular Otsu thresholding of 8-bit images for Python 3" [[
The Python package circthresh thresholds numpy arrays of 8-bit levels by
circular Otsu thresholding, with the answer of the circthresh command to the
last bit: the 256 levels are points on a circle, and the cut into two
half-circles of 128 levels with the least within-class variance wins. Its
functions take arrays of any shape and strides, masks, stacks and angles, and
release the interpreter lock while they count and binarise.]])
  # The extension is built for one Python version, as dh_python3 states it.
  string(REPLACE "." ";" python_version "${CIRCTHRESH_PYTHON_VERSION}")
  list(GET python_version 0 python_major)
  list(GET python_version 1 python_minor)
  math(EXPR python_next_minor "${python_minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${CIRCTHRESH_PYTHON_VERSION}~), python3 (<< ${python_major}.${python_next_minor}), python3-numpy")
  # Byte-compiled on install and cleaned on removal, as dh_python3 does it.
  set(control ${PROJECT_BINARY_DIR}/debian-control/python3-circthresh)
  foreach(script postinst prerm)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/python3-circthresh.${script} ${control}/${script}
                   COPYONLY)
  endforeach()
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${control}/postinst ${control}/prerm)
endif()

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${package_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts executable, other control files read-only, as dpkg wants.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/before_packing.cmake)
set(CPACK_CIRCTHRESH_STATIC ${CIRCTHRESH_STATIC})
include(CPack)
