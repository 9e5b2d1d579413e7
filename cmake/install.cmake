# Installation of the programs and their manual pages, and packaging.
#
# Linux (and any other non-Windows system): `cmake --install` puts the
# programs in bin/, the manual pages in share/man/man1/ and the README with
# the licence and the sample palettes in share/doc/namescourer-zxraster/;
# CPack makes a .tar.gz of the same tree.
#
# Windows (the mingw cross builds): the programs go in a folder named for
# their architecture (win64/ or win32/), the README, the licence and the
# palettes in the root; CPack makes a .zip. A 64-bit build given
# ZX_WIN32_BIN_DIR (the bin/ folder of a 32-bit build) packs those programs
# as win32/ beside its own, so one zip holds both (tools/package.sh does
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
  set(zx_package_system windows)
else()
  install(TARGETS ${zx_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/namescourer.1 ${PROJECT_SOURCE_DIR}/man/zxraster.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${zx_palettes} DESTINATION ${CMAKE_INSTALL_DOCDIR}/palettes)
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
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
