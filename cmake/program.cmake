# What every program's install and page share, set before the programs are
# declared.

# Every program lands in one folder of the build tree.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Dates in the manual pages and the metadata come from
# SOURCE_DATE_EPOCH, by default the time of the last commit (string(TIMESTAMP)
# follows it too): the same commit, the same bytes.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(git_failed OR commit_time STREQUAL "")
    string(TIMESTAMP commit_time "%s" UTC) # not a git checkout: now
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
endif()
set(SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})

# What the manual pages show: the project's version, the date and the
# notepad path compiled into this build, escaped for roff.
string(TIMESTAMP MAN_DATE "%Y-%m-%d" UTC)
string(REPLACE "\\" "\\e" NOTEPAD_PATH_ROFF "${NOTEPAD_PATH}")
string(REPLACE "-" "\\-" NOTEPAD_PATH_ROFF "${NOTEPAD_PATH_ROFF}")
# note's example types the notepad file's whole path, as the shell does not
# come between: one in the home folder ("~/") as an example user's, alice's.
set(NOTEPAD_EXAMPLE_WHO "")
set(NOTEPAD_EXAMPLE_ROFF "${NOTEPAD_PATH_ROFF}")
if(NOTEPAD_PATH MATCHES "^~/")
  string(REGEX REPLACE "^~/" "/home/alice/" NOTEPAD_EXAMPLE_ROFF "${NOTEPAD_PATH_ROFF}")
  set(NOTEPAD_EXAMPLE_WHO ";\nhere the user alice, whose home folder is /home/alice, types the whole\npath of the notepad file, as note does not know \\(lq~\\(rq")
endif()

# program(NAME FOLDER SECTION "SUMMARY" [LINKS TARGET...] [KEEP_WINDOW])
#
# Declares one program and everything it needs:
# - the executable NAME from FOLDER/NAME.cpp, which holds its main, linked with
#   the job frame and the LINKS targets;
# - its install: in the bin folder, or in the games folder (INSTALL_GAMESDIR)
#   where SECTION is 6;
# - its manual page packaging/man/NAME.SECTION.in, in that section;
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
  if(section EQUAL 6)
    set(destination ${INSTALL_GAMESDIR})
  else()
    set(destination ${CMAKE_INSTALL_BINDIR})
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION ${destination})

  # The manual page.
  string(REPLACE "-" "\\-" SUMMARY_ROFF "${summary}")
  set(page ${out}/man/${name}.${section})
  configure_file(${packaging}/man/${name}.${section}.in ${page} @ONLY)
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})

  # The launcher and its icon. The launcher starts the program by name from
  # the bin folder, by its full path from another one (a games folder such as
  # /usr/games is not always on PATH).
  string(SUBSTRING "${summary}" 0 1 first)
  string(SUBSTRING "${summary}" 1 -1 rest)
  string(TOUPPER "${first}" first)
  set(COMMENT "${first}${rest}")
  set(entry applications/consoletools-${name}.desktop)
  if(destination STREQUAL CMAKE_INSTALL_BINDIR)
    set(command ${name})
  else()
    cmake_path(ABSOLUTE_PATH destination BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX} OUTPUT_VARIABLE folder)
    set(command ${folder}/${name})
  endif()
  if(arg_KEEP_WINDOW)
    set(EXEC "sh -c \"${command}; echo 'Press Enter to close this window.'; read line\"")
  else()
    set(EXEC ${command})
  endif()
  configure_file(${packaging}/${entry}.in ${out}/${entry} @ONLY)
  install(FILES ${out}/${entry} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${packaging}/icons/consoletools-${name}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

  # For the tests and the metadata: NAME:SECTION.
  set_property(GLOBAL APPEND PROPERTY CONSOLETOOLS_PROGRAMS ${name}:${section})
  set_property(GLOBAL APPEND PROPERTY CONSOLETOOLS_METAINFO
               "      <li>${name}: ${summary}</li>\n")
endfunction()
