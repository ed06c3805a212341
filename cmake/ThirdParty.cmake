include(${CMAKE_CURRENT_LIST_DIR}/Fmt.cmake)

# GoogleTest from Debian's sources, built with whichever compiler this build uses.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/third_party/googletest" EXCLUDE_FROM_ALL SYSTEM)
