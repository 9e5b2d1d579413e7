# Read by cpack for each generator: the .deb takes the install component
# "debian" (compressed manual pages, copyright, changelog) in place of the
# plain manual pages and LICENSE that the tar.gz and the zip carry.
# SPDX-License-Identifier: MIT
if(CPACK_GENERATOR STREQUAL "DEB")
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 zx_build_dir)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 zx_project)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      "${zx_build_dir};${zx_project};Unspecified;/;${zx_build_dir};${zx_project};debian;/")
endif()
