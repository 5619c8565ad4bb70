# Writes the Debian changelog of the package from CHANGELOG.md, so that the two never disagree:
# one Debian entry per release of CHANGELOG.md, newest first as there, with the release's items
# as "  * " lines (wrapped to 80 columns), the maintainer, and the release's own date, so that
# the same sources give the same package on any day. CHANGELOG.md has no time of day: a release
# is stamped at midnight UTC, and one made on the same day as the release below it a minute
# after that one, since Debian wants every entry later than the one before.
#
#   cmake -DCHANGELOG=CHANGELOG.md -DOUTPUT=changelog.Debian -DPACKAGE=pn2tavix
#         -DVERSION=0.4.0 -DREVISION=1 "-DMAINTAINER=Name <address>" -P debian_changelog.cmake
#
# CHANGELOG.md is read as Keep a Changelog writes it: a release is a heading
# "## [VERSION] - YYYY-MM-DD", its items are list lines beginning with "- " (or "* "), an item
# runs on over the indented lines below it, and the "### Added" and other subheadings only
# group the items. A heading without a date ("## [Unreleased]") is not a release and is left
# out, and so is everything outside a release. The newest release must be VERSION: a version
# without its CHANGELOG entry fails the build here rather than shipping a changelog that
# says nothing of it.
cmake_minimum_required(VERSION 3.25)

foreach(var CHANGELOG OUTPUT PACKAGE VERSION REVISION MAINTAINER)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "debian_changelog.cmake: -D${var}=... is missing")
  endif()
endforeach()

# The text is split into a CMake list of lines. A list treats ';' as a separator and keeps
# what stands between '[' and ']' together, so those three characters are swapped for control
# characters until each line is taken out of the list.
file(READ "${CHANGELOG}" text)
string(ASCII 1 semicolon_mark)
string(ASCII 2 open_mark)
string(ASCII 3 close_mark)
string(REPLACE ";" "${semicolon_mark}" text "${text}")
string(REPLACE "[" "${open_mark}" text "${text}")
string(REPLACE "]" "${close_mark}" text "${text}")
string(REPLACE "\r" "" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

set(width 76)  # of an item's text: 80 columns less the indentation of "  * " and "    "
set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(day_names Sun Mon Tue Wed Thu Fri Sat)
set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)  # for the day of the week, after Sakamoto

# The date of a release as Debian writes it, `minutes` after midnight:
# "Mon, 07 Dec 2026 00:00:00 +0000".
function(debian_date year month day minutes out)
  math(EXPR m "${month}")  # "07" to 7
  math(EXPR d "${day}")
  if(m LESS 1 OR m GREATER 12 OR d LESS 1 OR d GREATER 31)
    message(FATAL_ERROR "${CHANGELOG}: ${year}-${month}-${day} is not a date")
  endif()
  set(y ${year})
  if(m LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR i "${m} - 1")
  list(GET month_offsets ${i} offset)
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${d}) % 7")
  list(GET day_names ${weekday} day_name)
  list(GET month_names ${i} month_name)
  math(EXPR hour "${minutes} / 60")
  math(EXPR minute "${minutes} % 60")
  if(hour GREATER 23)
    message(FATAL_ERROR "${CHANGELOG}: more than 1440 releases on ${year}-${month}-${day}")
  endif()
  string(REGEX REPLACE "^([0-9])$" "0\\1" hour "${hour}")
  string(REGEX REPLACE "^([0-9])$" "0\\1" minute "${minute}")
  set(${out} "${day_name}, ${day} ${month_name} ${year} ${hour}:${minute}:00 +0000" PARENT_SCOPE)
endfunction()

# Appends the item in `item` to `entry`, wrapped at blanks to lines of at most `width`
# characters (a longer word stands on a line of its own). A macro, sharing the caller's
# variables: it sets only item, item_count, entry, head, next, cut, piece, prefix and length.
macro(finish_item)
  string(REGEX REPLACE "[ \t]+" " " item "${item}")
  string(STRIP "${item}" item)
  if(NOT item STREQUAL "")
    set(prefix "  * ")
    while(TRUE)
      string(LENGTH "${item}" length)
      if(length LESS_EQUAL width)
        string(APPEND entry "${prefix}${item}\n")
        break()
      endif()
      # The last blank that leaves at most `width` characters before it.
      string(SUBSTRING "${item}" 0 ${width} head)
      string(SUBSTRING "${item}" ${width} 1 next)
      if(next STREQUAL " ")
        set(cut ${width})
      else()
        string(FIND "${head}" " " cut REVERSE)
        if(cut LESS 0)  # a word longer than a line: cut at the blank after it
          string(FIND "${item}" " " cut)
          if(cut LESS 0)
            string(APPEND entry "${prefix}${item}\n")
            break()
          endif()
        endif()
      endif()
      string(SUBSTRING "${item}" 0 ${cut} piece)
      math(EXPR cut "${cut} + 1")
      string(SUBSTRING "${item}" ${cut} -1 item)
      string(APPEND entry "${prefix}${piece}\n")
      set(prefix "    ")
    endwhile()
    math(EXPR item_count "${item_count} + 1")
  endif()
  set(item "")
endmacro()

# Closes the release being read, if any: its entry, but for the date, becomes entry_N, and its
# date the Nth of `dates`, N counting the releases from 0.
macro(finish_release)
  finish_item()
  if(DEFINED release)
    if(item_count EQUAL 0)
      message(FATAL_ERROR "${CHANGELOG}: release ${release} has no items")
    endif()
    list(LENGTH dates n)
    string(CONCAT entry_${n} "${PACKAGE} (${release}-${REVISION}) unstable; urgency=medium\n\n"
                             "${entry}\n -- ${MAINTAINER}  ")
    list(APPEND dates "${release_date}")
    unset(release)
  endif()
endmacro()

set(dates "")
set(item "")
set(newest "")
foreach(line IN LISTS lines)
  string(REPLACE "${semicolon_mark}" ";" line "${line}")
  string(REPLACE "${open_mark}" "[" line "${line}")
  string(REPLACE "${close_mark}" "]" line "${line}")
  if(line MATCHES "^## ")
    finish_release()
    set(date_pattern "([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])")
    if(line MATCHES "^## \\[?([0-9][^] ]*)\\]? +- +${date_pattern} *$")
      set(release "${CMAKE_MATCH_1}")
      set(release_date "${CMAKE_MATCH_2}-${CMAKE_MATCH_3}-${CMAKE_MATCH_4}")
      set(entry "")
      set(item_count 0)
      if(newest STREQUAL "")
        set(newest "${release}")
      endif()
    endif()
  elseif(NOT DEFINED release)
    continue()
  elseif(line MATCHES "^[-*] +(.*)$")
    set(first "${CMAKE_MATCH_1}")  # before finish_item() matches again
    finish_item()
    set(item "${first}")
  elseif(line MATCHES "^[ \t]+[^ \t]" AND NOT item STREQUAL "")
    string(APPEND item " ${line}")
  else()
    finish_item()  # a subheading or an empty line ends the item
  endif()
endforeach()
finish_release()

if(newest STREQUAL "")
  message(FATAL_ERROR "${CHANGELOG}: no release heading such as \"## [${VERSION}] - YYYY-MM-DD\"")
endif()
if(NOT newest STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG}: the newest release is ${newest}, but this is version "
                      "${VERSION}: add its entry, \"## [${VERSION}] - YYYY-MM-DD\", on top")
endif()

set(out "")
list(LENGTH dates count)
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  # Older releases of the same day, each a minute earlier than the next.
  list(GET dates ${i} date)
  set(same_day 0)
  math(EXPR older "${i} + 1")
  if(older LESS count)
    foreach(j RANGE ${older} ${last})
      list(GET dates ${j} other)
      if(other STREQUAL date)
        math(EXPR same_day "${same_day} + 1")
      endif()
    endforeach()
  endif()
  string(REPLACE "-" ";" ymd "${date}")
  debian_date(${ymd} ${same_day} debian)
  if(i GREATER 0)
    string(APPEND out "\n")
  endif()
  string(APPEND out "${entry_${i}}${debian}\n")
endforeach()
file(WRITE "${OUTPUT}" "${out}")
