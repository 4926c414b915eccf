# vardis-cli as a command-line tool: its version, manual pages and completion.
# Included by tests/CMakeLists.txt to add the tests; each test runs this file
# again as a script (cmake -DCHECK=... -P conventions.cmake).
if(CMAKE_SCRIPT_MODE_FILE)
  # The programs print "NAME VERSION" to --version and exit 0.
  if(CHECK STREQUAL "version")
    foreach(program ${PROGRAMS})
      get_filename_component(name ${program} NAME)
      execute_process(COMMAND ${program} --version RESULT_VARIABLE status
                      OUTPUT_VARIABLE out ERROR_VARIABLE err)
      if(NOT status EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n" OR NOT err STREQUAL "")
        message(FATAL_ERROR "${name} --version: status ${status}, '${out}', '${err}'")
      endif()
    endforeach()
  # The first "## " heading of the changelog names this version.
  elseif(CHECK STREQUAL "changelog")
    file(STRINGS ${CHANGELOG} headings REGEX "^## ")
    list(GET headings 0 first)
    if(NOT first MATCHES "^## ${VERSION}( |$)")
      message(FATAL_ERROR "CHANGELOG.md's first heading is '${first}', not '## ${VERSION} ...'")
    endif()
  # A manual page renders without a warning, with its NAME line; vardis-cli's
  # names every command and option of its usage.
  elseif(CHECK STREQUAL "man")
    find_program(MAN man)
    if(NOT MAN)
      message(FATAL_ERROR "man is not installed (scripts/install-deps installs man-db)")
    endif()
    set(ENV{LC_ALL} C.UTF-8)
    set(ENV{MANROFFSEQ} "")
    set(ENV{MANWIDTH} 80)
    set(ENV{MANPAGER} cat)
    execute_process(COMMAND ${MAN} --warnings -l ${PAGE} RESULT_VARIABLE status
                    OUTPUT_VARIABLE shown ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
      message(FATAL_ERROR "man -l ${PAGE}: status ${status}\n${warnings}")
    endif()
    if(NOT shown MATCHES "\nNAME\n +${NAME} +- +[^ ]")
      message(FATAL_ERROR "${PAGE} has no NAME line '${NAME} - ...':\n${shown}")
    endif()
    if(CLI)
      execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE usage)
      file(READ ${PAGE} source)
      string(REPLACE "\\-" "-" source "${source}")
      string(REGEX MATCHALL "--[a-z][-a-z]*" options "${usage}")
      list(REMOVE_DUPLICATES options)
      foreach(option ${options})
        string(FIND "${source}" "${option}" at)
        if(at EQUAL -1)
          message(SEND_ERROR "${PAGE} does not name ${option} of ${CLI} --help")
        endif()
      endforeach()
      string(FIND "${usage}" "\ncommands:\n" at)
      string(SUBSTRING "${usage}" ${at} -1 usage)
      string(REGEX MATCHALL "\n  [a-z][-a-z]*" commands "${usage}")
      # The entries' heads: the lines of the section at the first indent.
      string(REGEX REPLACE ".*\nCOMMANDS\n(.*)\nFILES\n.*" "\\1" section "${shown}")
      string(REGEX MATCHALL "\n       [^ \n][^\n]*" heads "${section}")
      string(REPLACE ";" " " heads " ${heads} ")
      foreach(command ${commands})
        string(STRIP "${command}" command)
        if(NOT heads MATCHES "[ ,|]${command}[ ,\n]")
          message(SEND_ERROR "${PAGE}'s COMMANDS do not name ${command} of ${CLI} --help")
        endif()
      endforeach()
    endif()
  endif()
  return()
endif()

set(vardis_conventions ${CMAKE_CURRENT_LIST_FILE})
set(vardis_version_programs $<TARGET_FILE:vardis-cli> $<TARGET_FILE:vardis-meter-sim>)
add_test(NAME conventions_version
         COMMAND ${CMAKE_COMMAND} -DCHECK=version -DVERSION=${PROJECT_VERSION}
                 "-DPROGRAMS=${vardis_version_programs}" -P ${vardis_conventions})
add_test(NAME conventions_changelog_version
         COMMAND ${CMAKE_COMMAND} -DCHECK=changelog -DVERSION=${PROJECT_VERSION}
                 -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -P ${vardis_conventions})
set(vardis_conventions_tests conventions_version conventions_changelog_version)

set(vardis_man_pages vardis-cli vardis-meter-sim)
if(TARGET vardis)
  list(APPEND vardis_man_pages vardis)
endif()
foreach(page ${vardis_man_pages})
  set(cli "")
  if(page STREQUAL "vardis-cli")
    set(cli -DCLI=$<TARGET_FILE:vardis-cli>)
  endif()
  # The page as installed: packaging/install.cmake fills in the version.
  add_test(NAME conventions_man_${page}
           COMMAND ${CMAKE_COMMAND} -DCHECK=man -DPAGE=${CMAKE_BINARY_DIR}/man/${page}.1
                   -DNAME=${page} ${cli} -P ${vardis_conventions})
  list(APPEND vardis_conventions_tests conventions_man_${page})
endforeach()

add_test(NAME conventions_completion
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli_completion_test.sh
                 ${PROJECT_SOURCE_DIR}/packaging/bash-completion/vardis-cli
                 $<TARGET_FILE:vardis-cli>)
# A reader of standard output that went away ends the run quietly with its
# status; an output that cannot be written otherwise (a full disk) is still
# an error. The pipe without a reader: a FIFO opened read-write, then for
# writing, its reading end closed.
add_test(NAME conventions_quiet_pipe
         COMMAND bash -c [=[
           set -u
           tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT && mkfifo "$tmp/p" || exit 1
           exec 3<>"$tmp/p" 4>"$tmp/p" 3<&-
           for args in --help --version; do
             "$1" $args >&4 2>"$tmp/err"
             status=$?
             if [ $status != 0 ] || [ -s "$tmp/err" ]; then
               echo "vardis-cli $args into a pipe without a reader: status $status" >&2
               cat "$tmp/err" >&2
               exit 1
             fi
           done
           "$1" --version >/dev/full 2>"$tmp/err"
           status=$?
           grep -q "standard output could not be written" "$tmp/err" && [ $status = 1 ] || {
             echo "vardis-cli --version >/dev/full: status $status" >&2
             exit 1
           }
         ]=] bash $<TARGET_FILE:vardis-cli>)
list(APPEND vardis_conventions_tests conventions_completion conventions_quiet_pipe)
# They run the programs (label e2e): a build of only some targets (the
# ThreadSanitizer one) has no vardis-cli to run.
set_tests_properties(${vardis_conventions_tests} PROPERTIES LABELS e2e TIMEOUT 60)
