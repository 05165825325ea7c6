# Debian's cross compiler for 32-bit x86 (i386): package g++-i686-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(cross_triplet i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
