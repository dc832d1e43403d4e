# The C library: the shared libcircthresh.so.1, its header, a pkg-config file
# and a CMake package. Included from the top CMakeLists.txt, after
# circthresh_threshold is defined.

# circthresh_version.h carries the project's version into the header.
configure_file(${PROJECT_SOURCE_DIR}/include/circthresh_version.h.in
               ${PROJECT_BINARY_DIR}/include/circthresh_version.h @ONLY)

add_library(circthresh_library SHARED ${CIRCTHRESH_LIBRARY_SOURCES})
target_include_directories(circthresh_library PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_link_libraries(circthresh_library PRIVATE circthresh_threshold)
# Only the circthresh_* functions are exported (the header marks them); the
# search and the counting inside stay hidden, free to change. The code uses
# nothing of the C++ library, so it is linked as C: a C program using it does
# not load libstdc++. --no-undefined turns any use of it into a link error.
set_target_properties(circthresh_library PROPERTIES
  LINKER_LANGUAGE C
  OUTPUT_NAME circthresh
  EXPORT_NAME circthresh
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR}
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_link_options(circthresh_library PRIVATE -Wl,--no-undefined)
# The code calls nothing in libc, but a library must still name it (Debian
# policy 10.2; lintian: library-not-linked-against-libc), also where the
# compiler links --as-needed by default.
target_link_libraries(circthresh_library PRIVATE -Wl,--push-state,--no-as-needed c -Wl,--pop-state)
add_library(circthresh::circthresh ALIAS circthresh_library)

# The runtime library and the development files go to two components, which
# the Debian packaging makes two packages of.
install(TARGETS circthresh_library EXPORT circthreshTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/include/circthresh.h
              ${PROJECT_BINARY_DIR}/include/circthresh_version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# The pkg-config file finds the prefix from its own place, so one file serves
# every install prefix and the package's staging directory alike.
file(RELATIVE_PATH PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/packaging/circthresh.pc.in
               ${PROJECT_BINARY_DIR}/circthresh.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/circthresh.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

include(CMakePackageConfigHelpers)
set(cmake_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/circthresh)
install(EXPORT circthreshTargets NAMESPACE circthresh:: DESTINATION ${cmake_package_dir}
        COMPONENT development)
# Any 1.x satisfies find_package(circthresh 1.y) for y up to x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/circthreshConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/circthreshConfig.cmake
              ${PROJECT_BINARY_DIR}/circthreshConfigVersion.cmake
        DESTINATION ${cmake_package_dir} COMPONENT development)
