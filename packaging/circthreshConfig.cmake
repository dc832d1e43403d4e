# find_package(circthresh) gives the imported target circthresh::circthresh:
# the shared library libcircthresh with its header directory.
include(${CMAKE_CURRENT_LIST_DIR}/circthreshTargets.cmake)
