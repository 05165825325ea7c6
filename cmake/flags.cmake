# The compiler and linker flags of the project's own targets.
#
# project_warnings: the warnings every file of ours is built with. They are
# errors only where asked for: the developers' and CI's presets set
# CMAKE_COMPILE_WARNING_AS_ERROR.
#
# project_options: the warnings, and either the sanitizers (SANITIZE) or,
# with HARDENING, the hardening Debian gives its packages, each flag only
# where the compiler and linker take it. A Debian package build turns
# HARDENING off: dpkg-buildflags hands it those flags in CXXFLAGS and LDFLAGS
# (and blhc checks that they reach every command); so does anyone whose own
# flags are to decide alone.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)

option(HARDENING "Build with the hardening flags of a Debian package (off where CXXFLAGS and LDFLAGS give them)" ON)

add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
add_library(project_options INTERFACE)
target_link_libraries(project_options INTERFACE project_warnings)

# harden_compile(FLAG): FLAG for our targets when the compiler takes it
# without a word (clang only warns of a flag for another processor).
function(harden_compile flag)
  string(MAKE_C_IDENTIFIER "cxx_takes${flag}" result)
  set(CMAKE_REQUIRED_FLAGS -Werror)
  check_cxx_compiler_flag(${flag} ${result})
  if(${result})
    target_compile_options(project_options INTERFACE ${flag})
  endif()
endfunction()

# harden_link(OPTION): the same for a linker option, given as the linker takes
# it (-z,now).
function(harden_link option)
  string(MAKE_C_IDENTIFIER "linker_takes${option}" result)
  check_linker_flag(CXX "LINKER:${option}" ${result})
  if(${result})
    target_link_options(project_options INTERFACE "LINKER:${option}")
  endif()
endfunction()

if(SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
elseif(HARDENING)
  # A position-independent executable.
  check_pie_supported()
  if(NOT DEFINED CMAKE_POSITION_INDEPENDENT_CODE)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  endif()

  # Fortified C library calls, in the optimised builds (they need the
  # optimiser), unless the compiler itself (as some distributions' do)
  # defines the level already.
  set(CMAKE_REQUIRED_FLAGS -O2)
  check_cxx_source_compiles("
#ifdef _FORTIFY_SOURCE
#error the compiler chooses the level
#endif
int main() { return 0; }" compiler_leaves_fortify_alone)
  unset(CMAKE_REQUIRED_FLAGS)
  if(compiler_leaves_fortify_alone)
    target_compile_definitions(project_options INTERFACE
      $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()

  # Stack protection, stack clash protection, and control-flow protection:
  # on x86 the compiler's, on 64-bit Arm branch protection.
  harden_compile(-fstack-protector-strong)
  harden_compile(-fstack-clash-protection)
  harden_compile(-fcf-protection)
  harden_compile(-mbranch-protection=standard)

  # A read-only relocation table, bound at start.
  harden_link(-z,relro)
  harden_link(-z,now)
endif()

# A time_t of 64 bits everywhere, so that the clock goes on past 2038 also on
# 32-bit systems (i386, armhf), with file offsets of 64 bits as the C library
# then needs; nothing where the flags give it already. For every target, the
# tests' preload library included.
include(CheckTypeSize)
set(CMAKE_EXTRA_INCLUDE_FILES time.h)
check_type_size(time_t TIME_T_SIZE LANGUAGE CXX)
if(TIME_T_SIZE EQUAL 4)
  set(CMAKE_REQUIRED_DEFINITIONS -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64)
  check_type_size(time_t TIME64_T_SIZE LANGUAGE CXX)
  unset(CMAKE_REQUIRED_DEFINITIONS)
  if(NOT TIME64_T_SIZE EQUAL 8)
    message(WARNING "time_t has 32 bits and the C library offers no other: the clock stops in 2038")
  endif()
  add_compile_definitions(_TIME_BITS=64 _FILE_OFFSET_BITS=64)
endif()
unset(CMAKE_EXTRA_INCLUDE_FILES)
