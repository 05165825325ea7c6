# Run by cpack before it packs the files it installed (CPACK_PRE_BUILD_SCRIPTS)
# and after it has made the package (CPACK_POST_BUILD_SCRIPTS), so that the
# package is the same to the byte whatever the umask of the one who builds it.
#
# Before: every folder rwxr-xr-x. The install makes the folders it needs with
# the umask applied, whatever CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
# says; under umask 077 they would be rwx------, of no use to anyone but root.
#
# After: the three members of the .deb (an ar archive), debian-binary,
# control.tar.* and data.tar.*, rw-r--r--. cpack gives each the mode of the
# file it was made from, which the umask decides. Each member's header is 60
# bytes: name (16), date (12), owner (6), group (6), mode (8), size (10), "`\n";
# its data follows, padded to an even length.
set(folder_mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
if(NOT DEFINED CPACK_PACKAGE_FILES)
  file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  foreach(folder IN LISTS folders)
    if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
      file(CHMOD "${folder}" DIRECTORY_PERMISSIONS ${folder_mode})
    endif()
  endforeach()
  return()
endif()

set(member_mode "100644  ")
file(WRITE "${CPACK_TOPLEVEL_DIRECTORY}/member-mode" "${member_mode}")
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${deb}" deb_size)
  set(header 8) # after "!<arch>\n"
  while(header LESS deb_size)
    file(READ "${deb}" fields OFFSET ${header} LIMIT 60)
    string(SUBSTRING "${fields}" 40 8 mode)
    string(SUBSTRING "${fields}" 48 10 size)
    string(STRIP "${size}" size)
    if(NOT mode STREQUAL member_mode)
      math(EXPR mode_offset "${header} + 40")
      execute_process(COMMAND dd "of=${deb}" bs=1 seek=${mode_offset} conv=notrunc status=none
                      INPUT_FILE "${CPACK_TOPLEVEL_DIRECTORY}/member-mode"
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "cannot set the mode of a member of ${deb}")
      endif()
    endif()
    math(EXPR header "${header} + 60 + ${size} + ${size} % 2")
  endwhile()
endforeach()
