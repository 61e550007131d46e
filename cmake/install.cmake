# What `cmake --install` (and so CPack) puts where.
#
# POSIX, under the prefix: bin/vu32, the manual pages compressed with
# gzip -9n as Debian wants them (share/man/man1/vu32.1.gz,
# share/man/ja/man1/vu32.1.gz), share/doc/vu32/copyright and changelog.gz,
# and share/bash-completion/completions/vu32.
#
# Win32, flat for a zip: vu32.exe, README.txt (packaging/windows: how to
# run it from cmd and PowerShell, and what differs from the Linux build),
# LICENSE.txt and the two manual pages rendered as text (vu32.txt,
# vu32-ja.txt), all UTF-8 with a
# byte order mark and CR LF line ends so that any Windows editor shows them
# (cmake/text_for_windows.cmake).

set(VU32_STAGE ${CMAKE_BINARY_DIR}/install-files)
# Directories 0755 whatever the umask of the build (files get 0644 and 0755
# from install() itself).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE
    OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS vu32 RUNTIME DESTINATION .)

  find_program(VU32_GROFF groff)
  if(NOT VU32_GROFF)
    message(WARNING "groff not found: the manual pages are left out of the "
                    "install (Debian: apt-get install groff)")
  endif()
  set(text_files)
  # README.txt is the page for Windows users, not the README of the tree.
  foreach(entry IN ITEMS "packaging/windows/README.txt|README.txt|"
                         "LICENSE|LICENSE.txt|"
                         "man/vu32.1|vu32.txt|man" "man/ja/vu32.1|vu32-ja.txt|man")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 source)
    list(GET entry 1 target)
    list(GET entry 2 kind)
    if(kind STREQUAL "man" AND NOT VU32_GROFF)
      continue()
    endif()
    add_custom_command(
      OUTPUT ${VU32_STAGE}/${target}
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${CMAKE_SOURCE_DIR}/${source}
              -DTARGET=${VU32_STAGE}/${target} -DKIND=${kind}
              -DGROFF=${VU32_GROFF} -P ${CMAKE_SOURCE_DIR}/cmake/text_for_windows.cmake
      DEPENDS ${CMAKE_SOURCE_DIR}/${source} ${CMAKE_SOURCE_DIR}/cmake/text_for_windows.cmake
      COMMENT "Writing ${target}"
      VERBATIM)
    list(APPEND text_files ${VU32_STAGE}/${target})
  endforeach()
  add_custom_target(vu32_install_files ALL DEPENDS ${text_files})
  install(FILES ${text_files} DESTINATION .)
  return()
endif()

install(TARGETS vu32 RUNTIME DESTINATION bin)
# A stripped install (cpack, cmake --install --strip) also drops the compiler
# version notes, as Debian's own packaging tools do.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                              --remove-section=.note
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/$<TARGET_FILE_NAME:vu32>\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()

# Manual pages: gzip -n leaves out the name and time, so that the same page
# always gives the same bytes.
find_program(VU32_GZIP gzip)
if(VU32_GZIP)
  set(pages)
  foreach(page IN ITEMS man1/vu32.1 ja/man1/vu32.1)
    string(REPLACE "man1/" "" source ${page})
    add_custom_command(
      OUTPUT ${VU32_STAGE}/man/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/man/${source}
              ${VU32_STAGE}/man/${page}
      COMMAND ${VU32_GZIP} -9nf ${VU32_STAGE}/man/${page}
      DEPENDS ${CMAKE_SOURCE_DIR}/man/${source}
      COMMENT "Compressing the manual page man/${source}"
      VERBATIM)
    list(APPEND pages ${VU32_STAGE}/man/${page}.gz)
  endforeach()
  set(changelog ${VU32_STAGE}/changelog.gz)
  add_custom_command(
    OUTPUT ${changelog}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
            ${VU32_STAGE}/changelog
    COMMAND ${VU32_GZIP} -9nf ${VU32_STAGE}/changelog
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog
    COMMENT "Compressing the changelog"
    VERBATIM)
  add_custom_target(vu32_install_files ALL DEPENDS ${pages} ${changelog})
  install(FILES ${VU32_STAGE}/man/man1/vu32.1.gz DESTINATION share/man/man1)
  install(FILES ${VU32_STAGE}/man/ja/man1/vu32.1.gz DESTINATION share/man/ja/man1)
  install(FILES ${changelog} DESTINATION share/doc/vu32)
else()
  message(WARNING "gzip not found: the manual pages and the changelog are "
                  "installed uncompressed")
  install(FILES man/vu32.1 DESTINATION share/man/man1)
  install(FILES man/ja/vu32.1 DESTINATION share/man/ja/man1)
  install(FILES packaging/debian/changelog DESTINATION share/doc/vu32)
endif()

# The copyright file in Debian's machine-readable format, with the licence
# text taken from LICENSE so that the two never differ.
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${license}")
set(holder ${CMAKE_MATCH_1})
string(FIND "${license}" "Permission is hereby granted" start)
if(NOT holder OR start EQUAL -1)
  message(FATAL_ERROR "LICENSE: no copyright line or no MIT permission text")
endif()
string(SUBSTRING "${license}" ${start} -1 terms)
string(STRIP "${terms}" terms)
# Continuation lines start with a space; an empty line is written " .".
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(CONFIGURE OUTPUT ${VU32_STAGE}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: vu32

Files: *
Copyright: ${holder}
License: Expat

License: Expat
 ${terms}
")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/LICENSE)
install(FILES ${VU32_STAGE}/copyright DESTINATION share/doc/vu32)

install(FILES packaging/bash-completion/vu32
        DESTINATION share/bash-completion/completions)
