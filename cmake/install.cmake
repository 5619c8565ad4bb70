# Installing pn2tavix: the program, its manual page and documents, and the library with its
# header and a CMake package, so that another project can find_package(pn2tavix) and call
# pn2tavix::convert(). Also the Debian package that `cpack -G DEB` builds from the build folder.
#
# Install components:
#   runtime      the programs, the README, the reference documents, the page's screenshot
#   license      LICENSE
#   changelog    CHANGELOG.md (the Debian package has it as changelog.Debian.gz instead)
#   man          the manual pages as written (plain roff)
#   development  the public headers, the static library, the CMake package and pkg-config file
#   debian       only for the Debian package: the manual pages compressed as Debian wants them,
#                the Debian changelog made from CHANGELOG.md, the license as a machine-readable
#                "copyright" file, and lintian's overrides; left out of a plain
#                `cmake --install`, which installs every other component
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)  # write_basic_package_version_file

# The names a consumer links to, the same whether pn2tavix is installed or added as a
# subdirectory of the consumer's own tree.
set_target_properties(pn2tavix_core PROPERTIES EXPORT_NAME pn2tavix_core)
add_library(pn2tavix::pn2tavix_core ALIAS pn2tavix_core)
add_library(pn2tavix::pn2tavix ALIAS pn2tavix_core)

# The public header uses std::string_view: a consumer compiles it as C++17 at least.
target_compile_features(pn2tavix_core INTERFACE cxx_std_17)

# A static library built with the sanitizers needs their run-time libraries wherever it is
# linked, including a consumer project that knows nothing of how it was built.
if(PN2TAVIX_SANITIZE)
  target_link_options(pn2tavix_core INTERFACE ${PN2TAVIX_SANITIZER_LINK_FLAGS})
endif()

# The programs a user runs, in the package too.
set(PN2TAVIX_INSTALLED_PROGRAMS pn2tavix pn2tavix-check pn2tavix-midi)
install(TARGETS ${PN2TAVIX_INSTALLED_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT runtime)
# A stripped program (the package's, or "cmake --install --strip") also loses the compiler's
# version strings and the ".note" section, as Debian strips its own programs.
if(CMAKE_STRIP)
  foreach(program IN LISTS PN2TAVIX_INSTALLED_PROGRAMS)
    set(installed "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}")
    string(APPEND installed "/$<TARGET_FILE_NAME:${program}>")
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                \"${installed}\"
                        COMMAND_ERROR_IS_FATAL ANY)
      endif()" COMPONENT runtime)
  endforeach()
endif()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT license)
# Beside the README, so that its links to docs/ and to the screenshot of the page work in the
# installed copy too. (The changelog is in the Debian package as changelog.Debian.gz.)
install(FILES docs/input-language.md docs/output-format.md docs/web.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT runtime)
install(FILES web/screenshot.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/web COMPONENT runtime)
install(FILES CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT changelog)
install(FILES man/pn2tavix.1 man/pn2tavix-check.1 man/pn2tavix-midi.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT man)

# The target's own include directory for an installed copy is "include".
install(TARGETS pn2tavix_core EXPORT pn2tavixTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/pn2tavix/pn2tavix.h include/pn2tavix/message.h include/pn2tavix/timeline.h
              ${PROJECT_BINARY_DIR}/include/pn2tavix/version.h
        DESTINATION include/pn2tavix COMPONENT development)
set(PN2TAVIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pn2tavix)
install(EXPORT pn2tavixTargets NAMESPACE pn2tavix:: DESTINATION ${PN2TAVIX_CMAKE_DIR}
        COMPONENT development)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/pn2tavixConfig.cmake @ONLY CONTENT [[
# The pn2tavix library for another CMake project:
#   find_package(pn2tavix REQUIRED)
#   target_link_libraries(my_program PRIVATE pn2tavix::pn2tavix)
# and #include "pn2tavix/pn2tavix.h" for pn2tavix::convert() and pn2tavix::convert_file().
include("${CMAKE_CURRENT_LIST_DIR}/pn2tavixTargets.cmake")
if(NOT TARGET pn2tavix::pn2tavix)
  add_library(pn2tavix::pn2tavix INTERFACE IMPORTED)
  set_target_properties(pn2tavix::pn2tavix PROPERTIES
    INTERFACE_LINK_LIBRARIES pn2tavix::pn2tavix_core)
endif()
]])
# For builds that use pkg-config rather than CMake. The prefix is found from the file's own
# place, so that an installed tree can be moved.
file(RELATIVE_PATH PN2TAVIX_PC_TO_PREFIX
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
# A library built with the sanitizers needs their run-time libraries wherever it is linked.
set(PN2TAVIX_PC_LIBS "")
if(PN2TAVIX_SANITIZE)
  list(JOIN PN2TAVIX_SANITIZER_LINK_FLAGS " " PN2TAVIX_PC_LIBS)
  string(PREPEND PN2TAVIX_PC_LIBS " ")
endif()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/pn2tavix.pc @ONLY CONTENT [[
prefix=${pcfiledir}/@PN2TAVIX_PC_TO_PREFIX@
libdir=${prefix}/@CMAKE_INSTALL_LIBDIR@
includedir=${prefix}/include

Name: pn2tavix
Description: Convert PDP-1 music files to tavix text (C++17 or later)
Version: @PROJECT_VERSION@
Cflags: -I${includedir}
Libs: -L${libdir} -lpn2tavix_core@PN2TAVIX_PC_LIBS@
]])
install(FILES ${PROJECT_BINARY_DIR}/pn2tavix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# Before 1.0 a minor release may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pn2tavixConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pn2tavixConfig.cmake
              ${PROJECT_BINARY_DIR}/pn2tavixConfigVersion.cmake
        DESTINATION ${PN2TAVIX_CMAKE_DIR} COMPONENT development)

set(PN2TAVIX_MAINTAINER "pn2tavix developers <pn2tavix@example.org>"
    CACHE STRING "Maintainer field of the Debian package: a name and an address")

# Debian installs the manual page and its own changelog compressed with "gzip -9n" (no name or
# time stamp inside, so that the same files give the same package).
function(pn2tavix_gzip from to)
  add_custom_command(OUTPUT ${to}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${from} ${to}
    DEPENDS ${from}
    VERBATIM)
endfunction()

# The Debian changelog, one entry per release of CHANGELOG.md, each dated as written there.
# The maintainer and the version reach the command through its arguments; the file of them
# makes a build that does not compare commands (make) run it again when they change.
set(PN2TAVIX_CHANGELOG_ARGS
  -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUTPUT=${PROJECT_BINARY_DIR}/changelog.Debian
  -DPACKAGE=pn2tavix -DVERSION=${PROJECT_VERSION} -DREVISION=1
  "-DMAINTAINER=${PN2TAVIX_MAINTAINER}")
file(WRITE ${PROJECT_BINARY_DIR}/changelog.Debian.args.new "${PN2TAVIX_CHANGELOG_ARGS}\n")
file(COPY_FILE ${PROJECT_BINARY_DIR}/changelog.Debian.args.new
     ${PROJECT_BINARY_DIR}/changelog.Debian.args ONLY_IF_DIFFERENT)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian
  COMMAND ${CMAKE_COMMAND} ${PN2TAVIX_CHANGELOG_ARGS}
          -P ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
          ${PROJECT_BINARY_DIR}/changelog.Debian.args
  VERBATIM)

pn2tavix_gzip(${PROJECT_SOURCE_DIR}/man/pn2tavix.1 ${PROJECT_BINARY_DIR}/pn2tavix.1.gz)
pn2tavix_gzip(${PROJECT_SOURCE_DIR}/man/pn2tavix-check.1 ${PROJECT_BINARY_DIR}/pn2tavix-check.1.gz)
pn2tavix_gzip(${PROJECT_SOURCE_DIR}/man/pn2tavix-midi.1 ${PROJECT_BINARY_DIR}/pn2tavix-midi.1.gz)
pn2tavix_gzip(${PROJECT_BINARY_DIR}/changelog.Debian ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_custom_target(pn2tavix_debian_files ALL
  DEPENDS ${PROJECT_BINARY_DIR}/pn2tavix.1.gz ${PROJECT_BINARY_DIR}/pn2tavix-check.1.gz
          ${PROJECT_BINARY_DIR}/pn2tavix-midi.1.gz
          ${PROJECT_BINARY_DIR}/changelog.Debian.gz)

# The copyright file in Debian's machine-readable format, its license text taken from LICENSE:
# the "Copyright (c) ..." line gives the Copyright field, and the text after it, indented by one
# blank with "." for an empty line, the body of the License field.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE pn2tavix_license)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
if(NOT pn2tavix_license MATCHES "^MIT License\n+Copyright \\(c\\) ([^\n]+)\n+(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE does not begin with \"MIT License\" and a copyright line")
endif()
set(PN2TAVIX_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" PN2TAVIX_LICENSE_TEXT " ${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " PN2TAVIX_LICENSE_TEXT "${PN2TAVIX_LICENSE_TEXT}")
configure_file(cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)

install(FILES ${PROJECT_BINARY_DIR}/pn2tavix.1.gz ${PROJECT_BINARY_DIR}/pn2tavix-check.1.gz
              ${PROJECT_BINARY_DIR}/pn2tavix-midi.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz ${PROJECT_BINARY_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)
# What lintian says of the package that is not to be fixed, each with the reason on the line
# above it.
install(FILES cmake/lintian-overrides RENAME pn2tavix
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
        COMPONENT debian EXCLUDE_FROM_ALL)

# The Debian package: the program and what a user of the program reads, in one package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pn2tavix)
set(CPACK_PACKAGE_VENDOR "the pn2tavix developers")
set(CPACK_PACKAGE_CONTACT "${PN2TAVIX_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert PDP-1 music files to tavix text")
# Debian wants the long description in lines of at most 80 characters; an empty line makes
# a new paragraph.
set(CPACK_PACKAGE_DESCRIPTION [[
pn2tavix reads a music file written for the PDP-1 computer (titles,
statements, measure numbers, bar lines, note and rest tokens) and writes the
same piece to standard output as tavix text: a head block, a body block and
one channel block per voice, with one timed line per note or rest.

It is strict: every measure must add up to its length, every measure number
must match the running count, and a malformed note stops the conversion with
a message that names the measure.

pn2tavix-check checks whole files and folders of pieces and prints every
message with its line and column, as editors and CI services read them, with
notes that help to fix it and warnings of likely mistakes.

pn2tavix-midi writes a piece as a Standard MIDI File, to hear what was
written.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# One package of the runtime and debian components; the library is for those who build from
# source.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL runtime debian)
set(CPACK_DEBIAN_PACKAGE_NAME pn2tavix)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PN2TAVIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# "cpack --config CPackSourceConfig.cmake" packs the sources as a tarball, without the
# repository and the build folders.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/;/build/;/build-")
include(CPack)
