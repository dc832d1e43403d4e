# The sources of the C library, for every build that makes it: this project's
# CMakeLists.txt, and any other (a WebAssembly build, say) that includes this
# file and compiles the same lists. Paths are absolute.
#
#   CIRCTHRESH_THRESHOLD_SOURCES  the counting and the search the command uses
#                                 too, and a photo's hue: no input or output,
#                                 no exit, no state
#   CIRCTHRESH_LIBRARY_SOURCES    the circthresh_* functions of include/circthresh.h
#   CIRCTHRESH_LIBRARY_INCLUDES   what they include: src/ and include/ (the
#                                 build adds the directory of the configured
#                                 circthresh_version.h, made from
#                                 include/circthresh_version.h.in)
get_filename_component(circthresh_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CIRCTHRESH_THRESHOLD_SOURCES
  ${circthresh_root}/src/threshold/level_counts.cpp
  ${circthresh_root}/src/threshold/find_threshold.cpp
  ${circthresh_root}/src/threshold/classes_search.cpp
  ${circthresh_root}/src/threshold/hue_level.cpp
  ${circthresh_root}/src/threshold/hue_vector.cpp
)
set(CIRCTHRESH_LIBRARY_SOURCES
  ${circthresh_root}/src/library/raster_extent.cpp
  ${circthresh_root}/src/library/c_histogram.cpp
  ${circthresh_root}/src/library/c_threshold_counts.cpp
  ${circthresh_root}/src/library/c_apply.cpp
  ${circthresh_root}/src/library/c_classes.cpp
  ${circthresh_root}/src/library/c_hue.cpp
  ${circthresh_root}/src/library/c_version.cpp
)
set(CIRCTHRESH_LIBRARY_INCLUDES ${circthresh_root}/src ${circthresh_root}/include)
