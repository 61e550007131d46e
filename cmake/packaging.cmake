# Debian package of the executable and its two manual pages:
#   cpack -G DEB        (in the build folder)
# writes vu32_<version>_<arch>.deb, installing under /usr.

set(CPACK_PACKAGE_NAME vu32)
set(CPACK_PACKAGE_VENDOR "VU32 developers")
set(CPACK_PACKAGE_CONTACT "VU32 developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert, merge and split Shift-JIS text files")
# Lines of the long description, as Debian wraps them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "VU32 works on Japanese text in Shift-JIS (code page 932) as bytes,"
    "never taking the second byte of a two-byte character for ASCII."
    "One run performs one operation: newline conversion and joining of"
    "lines, half-width to full-width katakana, tab expansion, ASCII case"
    "conversion, deletion of control characters, removal of consecutive"
    "duplicate lines, merging of files, or splitting a file by size, by"
    "line count or at lines that match a Shift-JIS aware pattern. It"
    "works on files and in pipes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME vu32)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VU32 developers")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (from dpkg-dev) derives the exact library versions; without
# it the package names the libraries a g++ build links against.
find_program(VU32_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VU32_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()
# Keep build folders and version control out of a source package.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/bench/data/"
    "/bench/out/")

include(CPack)
