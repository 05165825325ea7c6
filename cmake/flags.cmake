# The compiler and linker flags of the project's own targets.
#
# project_warnings: the warnings every file of ours is built with. They are
# errors only where asked for: the developers' and CI's presets set
# CMAKE_COMPILE_WARNING_AS_ERROR.
#
# project_options: the warnings, and either the sanitizers (SANITIZE) or the
# hardening Debian builds its packages with, each flag only where the
# compiler and linker take it and the user's own flags (CXXFLAGS, CPPFLAGS,
# LDFLAGS) say nothing of it yet.
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)

add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
add_library(project_options INTERFACE)
target_link_libraries(project_options INTERFACE project_warnings)

# CMake passes CXXFLAGS and LDFLAGS on but not CPPFLAGS (where dpkg-buildflags
# puts -D_FORTIFY_SOURCE): they are taken here, less what CXXFLAGS already
# holds (debhelper copies them there).
set(CPPFLAGS "$ENV{CPPFLAGS}" CACHE STRING
    "Preprocessor flags of every compile (the environment's CPPFLAGS at the first configure)")
separate_arguments(cxx_flags UNIX_COMMAND "${CMAKE_CXX_FLAGS}")
separate_arguments(cpp_flags UNIX_COMMAND "${CPPFLAGS}")
if(cxx_flags AND cpp_flags)
  list(REMOVE_ITEM cpp_flags ${cxx_flags})
endif()
target_compile_options(project_options INTERFACE ${cpp_flags})

string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(user_compile_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}} ${CPPFLAGS} ")
set(user_link_flags " ${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${build_type}} ")

# harden_compile(FLAG FAMILY): FLAG for our targets when the user's flags
# have nothing matching the regular expression FAMILY (the flag, its
# variants and its negation) and the compiler takes it without a word (clang
# only warns of a flag for another processor).
function(harden_compile flag family)
  if(user_compile_flags MATCHES "${family}")
    return()
  endif()
  string(MAKE_C_IDENTIFIER "cxx_takes${flag}" result)
  set(CMAKE_REQUIRED_FLAGS -Werror)
  check_cxx_compiler_flag(${flag} ${result})
  if(${result})
    target_compile_options(project_options INTERFACE ${flag})
  endif()
endfunction()

# harden_link(OPTION FAMILY): the same for a linker option, given as the
# linker takes it (-z,now).
function(harden_link option family)
  if(user_link_flags MATCHES "${family}")
    return()
  endif()
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
else()
  # A position-independent executable.
  check_pie_supported()
  if(NOT DEFINED CMAKE_POSITION_INDEPENDENT_CODE)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  endif()

  # Fortified C library calls. They need the optimiser: not in a Debug build,
  # nor in one whose flags do not optimise (build type None with no -O).
  # Left out when the user's flags or the compiler itself (as some
  # distributions' do) define the level already.
  set(CMAKE_REQUIRED_FLAGS -O2)
  check_cxx_source_compiles("
#ifdef _FORTIFY_SOURCE
#error the compiler chooses the level
#endif
int main() { return 0; }" compiler_leaves_fortify_alone)
  unset(CMAKE_REQUIRED_FLAGS)
  if(compiler_leaves_fortify_alone AND NOT user_compile_flags MATCHES "[ ]-[DU][ ]*_FORTIFY_SOURCE")
    string(REGEX MATCHALL "[ ]-O[^ ]*" levels " ${CMAKE_CXX_FLAGS}")
    list(POP_BACK levels level)
    if(level AND NOT level STREQUAL " -O0")
      set(optimised "$<NOT:$<CONFIG:Debug>>")
    else()
      set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    endif()
    target_compile_definitions(project_options INTERFACE $<${optimised}:_FORTIFY_SOURCE=2>)
  endif()

  # Stack protection, stack clash protection, and control-flow protection:
  # on x86 the compiler's, on 64-bit Arm branch protection.
  harden_compile(-fstack-protector-strong "[ ]-f(no-)?stack-protector")
  harden_compile(-fstack-clash-protection "[ ]-f(no-)?stack-clash-protection")
  harden_compile(-fcf-protection "[ ]-f(no-)?cf-protection")
  harden_compile(-mbranch-protection=standard "[ ]-mbranch-protection")

  # A read-only relocation table, bound at start.
  harden_link(-z,relro "relro")
  harden_link(-z,now "-z[ ,](now|lazy)")
endif()

# The build's own folders stay out of what it makes, so that two builds of one
# commit in different folders give the same bytes.
foreach(folder IN ITEMS ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  string(FIND "${user_compile_flags}" " -ffile-prefix-map=${folder}=. " given)
  if(given EQUAL -1)
    target_compile_options(project_options INTERFACE -ffile-prefix-map=${folder}=.)
  endif()
endforeach()

# A time_t of 64 bits everywhere, so that the clock goes on past 2038 also on
# 32-bit systems (i386, armhf), with file offsets of 64 bits as the C library
# then needs. For every target, the tests' preload library included.
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
