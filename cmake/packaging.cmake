# `cpack -G DEB` in the build folder makes a Debian package of what
# `cmake --install` installs, under /usr.

set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "The Vantor developers")
set(CPACK_PACKAGE_CONTACT "Vantor developers <vantor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Vantor reads and edits the big-endian *.dat data files of RT4/RT5 units.\n"
  "Such a file describes its own layout in a table of item descriptors.\n"
  "Vantor prints that layout as C declarations, reads one value named by a\n"
  "path of descriptor ids, and writes one value in place without changing\n"
  "the file's header, descriptor table or length.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Debian wants the manual page and the changelog gzipped, and a native
# package's changelog in Debian's own format; a plain install keeps both as
# they are in the source tree. For Debian's hardening flags, configure with
# the environment of `eval "$(dpkg-buildflags --export=sh)"`.
set(CPACK_VANTOR_CHANGELOG_SOURCE "${PROJECT_SOURCE_DIR}/CHANGELOG.md")
set(CPACK_VANTOR_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_VANTOR_STRIP "${CMAKE_STRIP}")
set(CPACK_VANTOR_BINDIR "${CMAKE_INSTALL_BINDIR}")
set(CPACK_VANTOR_MANDIR "${CMAKE_INSTALL_MANDIR}")
set(CPACK_VANTOR_DOCDIR "${CMAKE_INSTALL_DOCDIR}")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/deb_staging.cmake")

include(CPack)
