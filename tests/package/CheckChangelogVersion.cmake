# debian/changelog names the package's version itself, as Debian wants;
# this checks that it is the project's version.
#   cmake -DCHANGELOG=debian/changelog -DVERSION=x.y -P CheckChangelogVersion.cmake
file(STRINGS ${CHANGELOG} first LIMIT_COUNT 1)
if(NOT first MATCHES "^belvo \\(([^)]+)\\)")
  message(FATAL_ERROR "${CHANGELOG}: the first line does not name the version: ${first}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG} is at version ${CMAKE_MATCH_1}, the project (CMakeLists.txt) at ${VERSION}")
endif()
message(STATUS "debian/changelog is at ${VERSION}, as the project is")
