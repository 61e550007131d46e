# Packages of what cmake/install.cmake installs, made in the build folder:
#   cpack -G DEB        vu32_<version>_<arch>.deb, installing under /usr; it
#                       passes lintian without errors (tests/docs/check_deb.sh)
#   cpack -G ZIP        (Win32 build) vu32-<version>-win64.zip

set(CPACK_PACKAGE_NAME vu32)
set(CPACK_PACKAGE_VENDOR "VU32 developers")
# The address also signs packaging/debian/changelog: change both together.
set(VU32_PACKAGE_MAINTAINER "VU32 developers <vu32@example.org>")
set(CPACK_PACKAGE_CONTACT ${VU32_PACKAGE_MAINTAINER})
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
set(CPACK_STRIP_FILES ON)
# Control files with the modes dpkg expects, whatever the umask.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PACKAGE_NAME vu32)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VU32_PACKAGE_MAINTAINER})
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
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()
# Keep build folders and version control out of a source package.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/" "/bench/data/"
    "/bench/out/")

include(CPack)
