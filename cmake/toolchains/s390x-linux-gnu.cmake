# Debian's cross compiler for IBM Z, big-endian (s390x): package g++-s390x-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(cross_triplet s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
