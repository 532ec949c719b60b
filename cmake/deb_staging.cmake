# Run by CPack on the staged files before it builds a package. For the .deb:
# the binary stripped as Debian strips it, the manual page and documents
# gzipped, and CHANGELOG.md turned into the Debian changelog that a native
# package ships.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

find_program(GZIP gzip REQUIRED)
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(docdir "${root}/${CPACK_VANTOR_DOCDIR}")

# Sunday is 0; proleptic Gregorian calendar, from the days since 1970-01-01.
function(weekday_of year month day out)
  if(month LESS_EQUAL 2)
    math(EXPR year "${year} - 1")
    math(EXPR month "${month} + 9")
  else()
    math(EXPR month "${month} - 3")
  endif()
  math(EXPR era "${year} / 400")
  math(EXPR yoe "${year} - ${era} * 400")
  math(EXPR doy "(153 * ${month} + 2) / 5 + ${day} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR days "${era} * 146097 + ${doe} - 719468")
  math(EXPR weekday "(${days} + 4) % 7")
  set(${out} ${weekday} PARENT_SCOPE)
endfunction()

# "## 3.0.0 - 2026-12-09" opens a release, "- " a change, two blanks go on.
function(debian_changelog markdown out)
  file(STRINGS "${markdown}" lines ENCODING UTF-8)
  set(names Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  set(text "")
  set(trailer "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^## ([0-9][^ ]*) - ([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
      set(version ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_2})
      math(EXPR month "${CMAKE_MATCH_3}")
      math(EXPR day "${CMAKE_MATCH_4}")
      weekday_of(${year} ${month} ${day} weekday)
      list(GET names ${weekday} weekday_name)
      math(EXPR month_index "${month} - 1")
      list(GET months ${month_index} month_name)
      string(APPEND text "${trailer}${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n\n")
      set(trailer "\n -- ${CPACK_VANTOR_MAINTAINER}  ${weekday_name}, ${CMAKE_MATCH_4} ${month_name} ${year} 00:00:00 +0000\n\n")
    elseif(line MATCHES "^- (.*)$")
      string(APPEND text "  * ${CMAKE_MATCH_1}\n")
    elseif(line MATCHES "^  (.*)$")
      string(APPEND text "    ${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  if(text STREQUAL "")
    message(FATAL_ERROR "no release found in ${markdown}")
  endif()
  string(REGEX REPLACE "\n\n$" "\n" trailer "${trailer}")
  file(WRITE "${out}" "${text}${trailer}")
endfunction()

debian_changelog("${CPACK_VANTOR_CHANGELOG_SOURCE}" "${docdir}/changelog")
file(REMOVE "${docdir}/CHANGELOG.md")

# What dh_strip removes on top of the symbols that CPack's strip took.
if(CPACK_VANTOR_STRIP)
  execute_process(COMMAND "${CPACK_VANTOR_STRIP}" --remove-section=.comment --remove-section=.note
                          "${root}/${CPACK_VANTOR_BINDIR}/vantor" COMMAND_ERROR_IS_FATAL ANY)
endif()

# -n keeps name and time stamp out of the archives, so rebuilds are identical.
foreach(file "${root}/${CPACK_VANTOR_MANDIR}/man1/vantor.1" "${docdir}/changelog" "${docdir}/README.md")
  execute_process(COMMAND "${GZIP}" -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
