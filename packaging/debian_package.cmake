# The Debian package, made by cpack from a build configured with
# -DCIRCTHRESH_STATIC=OFF (README, Install).

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
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_SOURCE_DIR}/packaging/changelog
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME circthresh)
set(CPACK_PACKAGE_VENDOR "circthresh developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "binarise a greyscale PGM image by circular Otsu thresholding")
set(CPACK_PACKAGE_DESCRIPTION [[
circthresh treats the 256 grey levels of an 8-bit binary PGM image as points
on a circle, level 255 next to level 0, and picks the cut of that circle into
two half-circles of 128 levels whose classes of pixels have the least
within-class variance (Otsu's criterion). Pixels in the chosen half-circle
become black, all others white; the threshold and the variance are reported.

It suits images of quantities that wrap around, such as hue, orientation or
phase, where an ordinary threshold splits an object whose values straddle the
wrap.]])
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${package_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/before_packing.cmake)
set(CPACK_CIRCTHRESH_STATIC ${CIRCTHRESH_STATIC})
include(CPack)
