# Installs vxcore with a package configuration so that applications can say
# find_package(Vantix) and link Vantix::vxcore.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS vxcore EXPORT VantixTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantix)
install(DIRECTORY src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vantix
  FILES_MATCHING PATTERN "*.h")
install(TARGETS vxtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(VX_HAVE_CONTROLS OFF)
if(TARGET vxcontrols)
  set(VX_HAVE_CONTROLS ON)
  install(TARGETS vxcontrols EXPORT VantixTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vxviewer)
  install(TARGETS vxviewer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(EXPORT VantixTargets NAMESPACE Vantix:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Vantix)
configure_package_config_file(cmake/VantixConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VantixConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Vantix)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VantixConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VantixConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/VantixConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Vantix)
