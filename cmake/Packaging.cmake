# What `cmake --install` puts where, and the packages CPack makes of it.
#
# Elsewhere than Windows the usual tree under the prefix: the program and
# contact-export-check in bin/, their manual pages in share/man/man1/, the README, the licence and the sample
# profile with its export in share/doc/contact-export/. `cpack -G DEB` makes a
# Debian package of that tree, completed by cmake/DebianPackage.cmake as
# Debian's policy asks (copyright, changelog, compressed manual page); its
# Depends line is worked out by dpkg-shlibdeps from the libraries the program
# is linked against.
#
# On Windows everything lies side by side at the top of the prefix: the two .exe files,
# the check's manual page, the README as a text file with CR LF line ends and
# the licence. `cpack -G ZIP`
# makes the zip that Windows users unpack where they like.
include(GNUInstallDirs)

set(CONTACT_EXPORT_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/contact-export")

if(WIN32)
  # Notepad and the other Windows editors read a README.txt; the Markdown is
  # plain text, given CR LF line ends and a UTF-8 byte-order mark so that older
  # Notepads do not take its Japanese folder names for the ANSI code page.
  file(READ "${CMAKE_CURRENT_SOURCE_DIR}/README.md" readme_text)
  string(REPLACE "\r\n" "\n" readme_text "${readme_text}")
  string(REPLACE "\n" "\r\n" readme_text "${readme_text}")
  string(ASCII 239 187 191 utf8_bom)
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/README.txt.tmp" "${utf8_bom}${readme_text}")
  configure_file("${CMAKE_CURRENT_BINARY_DIR}/README.txt.tmp" "${CMAKE_CURRENT_BINARY_DIR}/README.txt" COPYONLY)
  file(READ "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE" license_text)
  string(REPLACE "\n" "\r\n" license_text "${license_text}")
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt.tmp" "${license_text}")
  configure_file("${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt.tmp" "${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt" COPYONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${CMAKE_CURRENT_SOURCE_DIR}/README.md" "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE")

  install(TARGETS contact-export contact-export-check RUNTIME DESTINATION .)
  install(FILES "${CMAKE_CURRENT_BINARY_DIR}/README.txt" "${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt"
          docs/contact-export-check.1 DESTINATION .)
else()
  install(TARGETS contact-export contact-export-check RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES docs/contact-export.1 docs/contact-export-check.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  install(FILES README.md LICENSE DESTINATION "${CONTACT_EXPORT_DOC_DIR}")
  install(DIRECTORY examples/profile DESTINATION "${CONTACT_EXPORT_DOC_DIR}/examples")
  install(FILES examples/profile.expected.csv DESTINATION "${CONTACT_EXPORT_DOC_DIR}/examples")
endif()

set(CPACK_PACKAGE_NAME contact-export)
set(CPACK_PACKAGE_VENDOR "The contact-export authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "exports every Outlook contact to a code page 932 CSV file")
set(CPACK_PACKAGE_DESCRIPTION
    "contact-export writes every contact of an Outlook profile, or of a stand-alone\n"
    "profile of vCard folders, Outlook data files (.pst, .ost), Thunderbird and\n"
    "Evolution address books and CardDAV servers, to one CSV file: 55 columns,\n"
    "no header line, code page 932, CR LF line ends. It is made for scripts and\n"
    "scheduled tasks: the command line is the output path and the outcome is the\n"
    "exit code.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Debugging information stays in the build tree, not in what users install.
set(CPACK_STRIP_FILES ON)
# Only the two generators this project ships; `cpack` alone makes the one
# that fits the build.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
endif()
# The files lie at the top of the zip: Explorer's "Extract All" puts
# them in a folder named after the zip, with no second folder inside.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A name with an address, as Debian's Maintainer field needs; the address is
# in the .invalid domain, which never delivers, rather than anybody's.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "contact-export authors <contact-export@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# man-db's triggers index the page; without man-db the package works the same.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
# What cmake/DebianPackage.cmake reads when CPack runs it; the date is the
# release's, for changelog.Debian.
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_SOURCE_DIR}/cmake/DebianPackage.cmake")
set(CPACK_CONTACT_EXPORT_SOURCE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
set(CPACK_CONTACT_EXPORT_STRIP "${CMAKE_STRIP}")
set(CPACK_CONTACT_EXPORT_RELEASE_DATE "Wed, 09 Dec 2026 00:00:00 +0000")

include(CPack)
