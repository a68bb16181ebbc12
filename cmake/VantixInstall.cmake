# Installs the libraries, their headers, the programs, a CMake package (find_package(Vantix),
# targets Vantix::vxcore and Vantix::vxcontrols) and pkg-config files (vantix-core, vantix).
#
# Headers keep the source tree's layout under include/vantix, so that an application writes
# #include "io/vantixio.h" exactly as the library's own code does.
include(CMakePackageConfigHelpers)

set(VX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vantix)
set(VX_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(VX_HAVE_CONTROLS OFF)
if(TARGET vxcontrols)
  set(VX_HAVE_CONTROLS ON)
endif()

# A library built with the sanitizers only links into programs that link their runtimes
# too; the installed package says so, so that its consumers link as they must.
set(VX_CONSUMER_LINK_FLAGS "")
if(VX_SANITIZE)
  set(VX_CONSUMER_LINK_FLAGS -fsanitize=address,undefined)
  target_link_options(vxcore INTERFACE $<INSTALL_INTERFACE:${VX_CONSUMER_LINK_FLAGS}>)
endif()

# ---- libraries and headers ----

install(TARGETS vxcore EXPORT VantixCoreTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
set(VX_HEADER_EXCLUDES "")
if(NOT VX_HAVE_CONTROLS)
  # The widget headers need Qt; without the widget library they would only mislead.
  set(VX_HEADER_EXCLUDES PATTERN "view" EXCLUDE PATTERN "controls" EXCLUDE
      PATTERN "vantixvect*.h" EXCLUDE)
endif()
install(DIRECTORY src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantix
  FILES_MATCHING PATTERN "*.h" ${VX_HEADER_EXCLUDES})
install(EXPORT VantixCoreTargets NAMESPACE Vantix:: DESTINATION ${VX_CMAKE_DIR})

if(VX_HAVE_CONTROLS)
  install(TARGETS vxcontrols EXPORT VantixControlsTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(EXPORT VantixControlsTargets NAMESPACE Vantix:: DESTINATION ${VX_CMAKE_DIR})
endif()

# ---- programs ----

install(TARGETS vxtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET vxviewer)
  # The viewer finds libvxcontrols beside itself, wherever the prefix is.
  file(RELATIVE_PATH VX_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(vxviewer PROPERTIES INSTALL_RPATH "$ORIGIN/${VX_BIN_TO_LIB}")
  install(TARGETS vxviewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# ---- CMake package ----

configure_package_config_file(cmake/VantixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VantixConfig.cmake
  INSTALL_DESTINATION ${VX_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VantixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VantixConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VantixConfigVersion.cmake
  DESTINATION ${VX_CMAKE_DIR})

# ---- pkg-config ----

# The files find the prefix from their own place (${pcfiledir}), so they stay right for
# whatever prefix `cmake --install --prefix` is given and when the tree is moved.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VX_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH VX_PC_TO_PREFIX /${VX_PKGCONFIG_DIR} /)
  string(REGEX REPLACE "/$" "" VX_PC_TO_PREFIX "${VX_PC_TO_PREFIX}")
  set(VX_PC_PREFIX "\${pcfiledir}/${VX_PC_TO_PREFIX}")
endif()
cmake_path(APPEND VX_PC_LIBDIR "\${prefix}" "${CMAKE_INSTALL_LIBDIR}")
cmake_path(APPEND VX_PC_INCLUDEDIR "\${prefix}" "${CMAKE_INSTALL_INCLUDEDIR}" vantix)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(VX_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VX_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/vantix")
endif()
list(JOIN VX_CONSUMER_LINK_FLAGS " " VX_PC_LINK_FLAGS)

configure_file(cmake/vantix-core.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vantix-core.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantix-core.pc DESTINATION ${VX_PKGCONFIG_DIR})
if(VX_HAVE_CONTROLS)
  configure_file(cmake/vantix.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vantix.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vantix.pc DESTINATION ${VX_PKGCONFIG_DIR})
endif()
