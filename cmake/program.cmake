# program(NAME FOLDER SECTION "SUMMARY" [LINKS TARGET...] [KEEP_WINDOW])
#
# Declares one program and everything it needs:
# - the executable NAME from FOLDER/NAME.cpp, which holds its main, linked with
#   the job frame and the LINKS targets;
# - its install: bin/, or games/ in the Debian package where SECTION is 6;
# - its manual page packaging/man/NAME.SECTION.in, compressed, in that section;
# - its launcher packaging/applications/consoletools-NAME.desktop.in, which
#   starts it in a terminal window (one kept open after it ends, until Enter,
#   with KEEP_WINDOW), and its icon packaging/icons/consoletools-NAME.svg;
# - its entry in the list of programs that the tests and the AppStream
#   metadata read (the global properties CONSOLETOOLS_PROGRAMS and
#   CONSOLETOOLS_METAINFO).
# SUMMARY, in lower case, is the page's NAME line, the launcher's comment and
# the program's line in the metadata.
function(program name folder section summary)
  cmake_parse_arguments(PARSE_ARGV 4 arg "KEEP_WINDOW" "" "LINKS")
  set(packaging ${PROJECT_SOURCE_DIR}/packaging)
  set(out ${PROJECT_BINARY_DIR}/packaging)

  add_executable(${name} ${folder}/${name}.cpp)
  target_link_libraries(${name} PRIVATE frame project_options ${arg_LINKS})
  # No compiler notes in the binaries, where there is an objcopy to take them out.
  if(CMAKE_OBJCOPY)
    add_custom_command(TARGET ${name} POST_BUILD
                       COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${name}>)
  endif()
  if(section EQUAL 6)
    # A game: beside the others in a source install, in games/ in the package.
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT source)
    install(TARGETS ${name} RUNTIME DESTINATION games COMPONENT package EXCLUDE_FROM_ALL)
  else()
    install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()

  # The manual page, compressed as Debian wants it: best compression, no name
  # or time inside.
  string(REPLACE "-" "\\-" SUMMARY_ROFF "${summary}")
  set(page ${out}/man/${name}.${section})
  configure_file(${packaging}/man/${name}.${section}.in ${page} @ONLY)
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND ${GZIP} -9nc ${page} > ${page}.gz
                     DEPENDS ${page} VERBATIM)
  add_custom_target(${name}-page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})

  # The launcher and its icon. A game's launcher starts it by its full path in
  # the package (/usr/games is not always on PATH), by name from a source
  # install.
  string(SUBSTRING "${summary}" 0 1 first)
  string(SUBSTRING "${summary}" 1 -1 rest)
  string(TOUPPER "${first}" first)
  set(COMMENT "${first}${rest}")
  set(entry applications/consoletools-${name}.desktop)
  set(command ${name})
  if(section EQUAL 6)
    set(EXEC ${CPACK_PACKAGING_INSTALL_PREFIX}/games/${name})
    configure_file(${packaging}/${entry}.in ${out}/package/${entry} @ONLY)
    install(FILES ${out}/package/${entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT package EXCLUDE_FROM_ALL)
    set(component COMPONENT source)
  else()
    set(component "")
  endif()
  if(arg_KEEP_WINDOW)
    set(EXEC "sh -c \"${name}; echo 'Press Enter to close this window.'; read line\"")
  else()
    set(EXEC ${name})
  endif()
  configure_file(${packaging}/${entry}.in ${out}/${entry} @ONLY)
  install(FILES ${out}/${entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications ${component})
  install(FILES ${packaging}/icons/consoletools-${name}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # For the tests and the metadata: NAME:SECTION.
  set_property(GLOBAL APPEND PROPERTY CONSOLETOOLS_PROGRAMS ${name}:${section})
  set_property(GLOBAL APPEND PROPERTY CONSOLETOOLS_METAINFO
               "      <li>${name}: ${summary}</li>\n")
endfunction()
