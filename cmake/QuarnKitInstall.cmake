# Install rules: every library target with its public headers, and a package
# configuration so that consumers can use find_package(QuarnKit) from an
# install prefix. Internal headers (detail/, testing/, test helpers) are in no
# target's header set and are not installed.
include(CMakePackageConfigHelpers)

get_property(_quarnkit_libs GLOBAL PROPERTY QUARNKIT_LIBRARIES)
install(TARGETS ${_quarnkit_libs} quarnkit EXPORT QuarnKitTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT QuarnKitTargets NAMESPACE QuarnKit::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuarnKit)
configure_package_config_file(cmake/QuarnKitConfig.cmake.in
  "${CMAKE_CURRENT_BINARY_DIR}/QuarnKitConfig.cmake"
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuarnKit)
write_basic_package_version_file("${CMAKE_CURRENT_BINARY_DIR}/QuarnKitConfigVersion.cmake"
  COMPATIBILITY SameMinorVersion)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/QuarnKitConfig.cmake"
  "${CMAKE_CURRENT_BINARY_DIR}/QuarnKitConfigVersion.cmake"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuarnKit)
