# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged tree of a package,
# before the package is made of it. For the Debian package it adds what
# Debian's policy asks of a binary package beyond the tree `cmake --install`
# lays out: the copyright file in the machine-readable format (it holds the
# licence, so LICENSE itself is not repeated), changelog.Debian.gz, the manual
# pages compressed, the programs without the .comment and .note sections, and
# lintian's override for the sample export, which is code page 932 by design.
# Compression is `gzip -9n`: no name or time stamp, the same bytes every time.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/contact-export")
set(templates "${CPACK_CONTACT_EXPORT_SOURCE_DIR}/cmake/debian")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

function(write_text path text)
  file(WRITE "${path}" "${text}")
  file(CHMOD "${path}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

# The licence's permission text, from LICENSE, as the continuation lines of a
# License paragraph: each line indented by one space, a blank line as " .".
file(READ "${CPACK_CONTACT_EXPORT_SOURCE_DIR}/LICENSE" license)
string(FIND "${license}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "LICENSE holds no MIT permission text")
endif()
string(SUBSTRING "${license}" ${start} -1 license)
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " LICENSE_TEXT " ${license}")

file(READ "${templates}/copyright.in" text)
string(CONFIGURE "${text}" text @ONLY)
write_text("${doc}/copyright" "${text}")
file(REMOVE "${doc}/LICENSE")

file(READ "${templates}/changelog.in" text)
string(CONFIGURE "${text}" text @ONLY)
write_text("${doc}/changelog.Debian" "${text}")
run(gzip -9nf "${doc}/changelog.Debian")
run(gzip -9nf "${root}/share/man/man1/contact-export.1" "${root}/share/man/man1/contact-export-check.1")

run("${CPACK_CONTACT_EXPORT_STRIP}" --remove-section=.comment --remove-section=.note "${root}/bin/contact-export"
    "${root}/bin/contact-export-check")

file(MAKE_DIRECTORY "${root}/share/lintian/overrides")
file(READ "${templates}/lintian-overrides" text)
write_text("${root}/share/lintian/overrides/contact-export" "${text}")
