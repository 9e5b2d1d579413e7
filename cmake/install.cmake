# Installation of the programs and their manual pages, and packaging.
#
# Linux (and any other non-Windows system): `cmake --install` puts the
# programs in bin/, the manual pages in share/man/man1/, the README with
# the licence and the sample palettes in share/doc/namescourer-zxraster/ and
# the rule sets in share/namescourer/rules/; CPack makes a .tar.gz of the
# same tree, and a .deb (cpack -G DEB) of it under /usr with what Debian
# asks instead: compressed manual pages, and a copyright file and a
# changelog in place of LICENSE (the install component "debian", which a
# plain install leaves out; cmake/cpack_options.cmake picks the components).
#
# Windows (the mingw cross builds): the programs go in a folder named for
# their architecture (win64/ or win32/), the README, the licence, the
# palettes, the rule sets (their Windows copies) and the manual pages
# rendered as HTML in the root; CPack makes a .zip. A 64-bit build given
# ZX_WIN32_BIN_DIR (the bin/ folder of a 32-bit build) packs those programs
# as win32/ beside its own, so one zip holds both (tools/ci/package.sh does
# that).
# SPDX-License-Identifier: MIT

set(CMAKE_INSTALL_DOCDIR "share/doc/namescourer-zxraster"
    CACHE PATH "Documentation root (README, sample palettes)")
include(GNUInstallDirs)

set(ZX_WIN32_BIN_DIR "" CACHE PATH
    "bin/ folder of a 32-bit Windows build whose programs the package holds as win32/")

set(zx_programs namescourer zxraster)
set(zx_palettes
    ${PROJECT_SOURCE_DIR}/samples/zx/README.md
    ${PROJECT_SOURCE_DIR}/samples/zx/palette_192.txt
    ${PROJECT_SOURCE_DIR}/samples/zx/palette_205.txt
    ${PROJECT_SOURCE_DIR}/samples/zx/palette_215_hex.txt
    ${PROJECT_SOURCE_DIR}/samples/zx/palette_216.txt)
set(zx_rules ${PROJECT_SOURCE_DIR}/rules)

set(ZX_DEB_MAINTAINER "the namescourer and zxraster authors <maintainers@namescourer.invalid>"
    CACHE STRING "Maintainer field and changelog signature of the .deb")

# The Debian forms of the manual pages, the licence and the changelog, made
# at configure time into debian/ of the build, for the component "debian".
function(zx_debian_files)
  find_program(ZX_GZIP gzip)
  if(NOT ZX_GZIP)
    return()
  endif()
  set(dir ${CMAKE_BINARY_DIR}/debian)
  file(MAKE_DIRECTORY ${dir})
  foreach(page namescourer zxraster)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${PROJECT_SOURCE_DIR}/man/${page}.1)
    execute_process(COMMAND ${ZX_GZIP} -9nc ${PROJECT_SOURCE_DIR}/man/${page}.1
                    OUTPUT_FILE ${dir}/${page}.1.gz COMMAND_ERROR_IS_FATAL ANY)
  endforeach()

  # copyright, machine-readable: the licence text from its permission
  # paragraph on, each line indented by one blank, empty lines as " .".
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/LICENSE)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" ignored "${licence}")
  set(holder "${CMAKE_MATCH_1}")
  string(FIND "${licence}" "Permission is hereby granted" start)
  string(SUBSTRING "${licence}" ${start} -1 licence)
  string(STRIP "${licence}" licence)
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  file(WRITE ${dir}/copyright
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: namescourer-zxraster\n"
       "Comment: usr/bin/zxraster holds zlib, linked in statically: Copyright (C)\n"
       " 1995-2022 Jean-loup Gailly and Mark Adler, under the zlib licence.\n\n"
       "Files: *\nCopyright: ${holder}\nLicense: Expat\n\n"
       "License: Expat\n ${licence}\n")

  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE ${dir}/changelog
       "namescourer-zxraster (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
       "  * Release ${PROJECT_VERSION}.\n\n -- ${ZX_DEB_MAINTAINER}  ${date}\n")
  execute_process(COMMAND ${ZX_GZIP} -9nf ${dir}/changelog COMMAND_ERROR_IS_FATAL ANY)

  install(FILES ${dir}/namescourer.1.gz ${dir}/zxraster.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT debian EXCLUDE_FROM_ALL)
  install(FILES ${dir}/copyright ${dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

  # zxraster is linked statically on purpose (converter/CMakeLists.txt).
  file(WRITE ${dir}/namescourer-zxraster
       "# Static on purpose: loading the shared C++ runtime takes longer than a conversion.\n"
       "namescourer-zxraster: statically-linked-binary [usr/bin/zxraster]\n"
       "# zlib (PNG output) is linked in with the rest, for the same reason.\n"
       "namescourer-zxraster: embedded-library zlib [usr/bin/zxraster]\n")
  install(FILES ${dir}/namescourer-zxraster DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          COMPONENT debian EXCLUDE_FROM_ALL)
endfunction()

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zx_arch_dir win64)
  else()
    set(zx_arch_dir win32)
  endif()
  install(TARGETS ${zx_programs} RUNTIME DESTINATION ${zx_arch_dir})
  if(ZX_WIN32_BIN_DIR)
    if(zx_arch_dir STREQUAL "win32")
      message(FATAL_ERROR "ZX_WIN32_BIN_DIR belongs to the 64-bit build, not to a 32-bit one")
    endif()
    # Checked when installing, so the 32-bit build may come after this
    # configuration; a missing program then fails the install loudly.
    install(PROGRAMS ${ZX_WIN32_BIN_DIR}/namescourer.exe ${ZX_WIN32_BIN_DIR}/zxraster.exe
            DESTINATION win32)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  install(FILES ${zx_palettes} DESTINATION palettes)
  # Windows has no man: the zip carries the manual pages rendered as HTML
  # (target manual_html; tools/ci/package.sh requires mandoc, builds the target
  # and checks the zip). OPTIONAL lets a build of the programs alone install.
  find_program(ZX_MANDOC mandoc)
  if(ZX_MANDOC)
    foreach(page namescourer zxraster)
      add_custom_command(OUTPUT ${page}.html
        COMMAND ${ZX_MANDOC} -T html ${PROJECT_SOURCE_DIR}/man/${page}.1 > ${page}.html
        DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 VERBATIM)
      list(APPEND zx_manual_html ${CMAKE_CURRENT_BINARY_DIR}/${page}.html)
    endforeach()
    add_custom_target(manual_html ALL DEPENDS ${zx_manual_html})
    install(FILES ${zx_manual_html} DESTINATION . OPTIONAL)
  endif()
  install(FILES ${zx_rules}/README.md ${zx_rules}/ascii.txt ${zx_rules}/windows/windows-safe.txt
                ${zx_rules}/windows/web-safe.txt DESTINATION rules)
  set(zx_package_system windows)
else()
  install(TARGETS ${zx_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${zx_palettes} DESTINATION ${CMAKE_INSTALL_DOCDIR}/palettes)
  install(FILES ${zx_rules}/README.md ${zx_rules}/ascii.txt ${zx_rules}/windows-safe.txt
                ${zx_rules}/web-safe.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/namescourer/rules)
  # Plain installs and the tar.gz.
  install(FILES ${PROJECT_SOURCE_DIR}/man/namescourer.1 ${PROJECT_SOURCE_DIR}/man/zxraster.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT manpages)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
  zx_debian_files()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" zx_package_system)
endif()

set(CPACK_PACKAGE_NAME "namescourer-zxraster")
set(CPACK_PACKAGE_VENDOR "namescourer and zxraster developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "namescourer (batch renamer) and zxraster (ZX Spectrum screen to BMP converter)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${zx_package_system}")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
# The .deb (cpack -G DEB): its dependencies come from the programs
# (dpkg-shlibdeps, Debian dpkg-dev; zxraster is static and needs none).
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZX_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "namescourer walks a directory tree and cleans its names: it replaces\n"
    "the characters that Windows-1252 cannot hold, applies search and replace\n"
    "rules (ready rule sets for Windows-safe, web-safe and ASCII names come\n"
    "with it) and renames without ever replacing an existing entry.\n"
    "zxraster converts a ZX Spectrum screen dump (.scr) into a 24-bit or\n"
    "4-bit BMP, with a built-in or a user palette.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/cpack_options.cmake)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
