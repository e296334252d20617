# `cmake --install`: the public headers and shared libraries, the CMake package Ruzave (Ruzave::ads,
# Ruzave::conversion) and pkg-config files. The platform stand-in goes with them: the SDK is built on it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RUZAVE_VERSION 0.1.0)
set(RUZAVE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ruzave)
set(RUZAVE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ruzave)

# Every shared library the two SDK libraries need at run time, in link order.
set(RUZAVE_INSTALLED_LIBRARIES ruzave_ads ruzave_conversion ruzave_common platform_services platform_web
  platform_ui platform_net platform_foundation platform_runloop platform_base)
set_target_properties(ruzave_ads PROPERTIES EXPORT_NAME ads)
set_target_properties(ruzave_conversion PROPERTIES EXPORT_NAME conversion)
# Installed libraries find each other next to themselves.
set_target_properties(${RUZAVE_INSTALLED_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ${RUZAVE_INSTALLED_LIBRARIES} platform EXPORT RuzaveTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT RuzaveTargets NAMESPACE Ruzave:: DESTINATION ${RUZAVE_INSTALL_CMAKEDIR})

# Headers keep the tree's layout; the test harness and the engine's internals stay out.
foreach(dir ads conversion common platform)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${RUZAVE_INSTALL_INCLUDEDIR}/${dir}
    FILES_MATCHING PATTERN "*.h"
    PATTERN "testing" EXCLUDE
    PATTERN "duktape" EXCLUDE)
endforeach()

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/RuzaveConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/RuzaveConfig.cmake INSTALL_DESTINATION ${RUZAVE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/RuzaveConfigVersion.cmake
  VERSION ${RUZAVE_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/RuzaveConfig.cmake ${PROJECT_BINARY_DIR}/package/RuzaveConfigVersion.cmake
  DESTINATION ${RUZAVE_INSTALL_CMAKEDIR})

# pkg-config: ruzave-platform, and the two SDK libraries on top of it. The prefix is taken at install
# time, so `cmake --install --prefix` elsewhere writes the right paths.
set(RUZAVE_PC_PREFIX "@RUZAVE_PC_PREFIX@")  # kept for the install-time pass
foreach(pc ruzave-platform ruzave-ads ruzave-conversion)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/${pc}.pc.in ${PROJECT_BINARY_DIR}/package/${pc}.pc.in @ONLY)
  install(CODE "
    set(RUZAVE_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${PROJECT_BINARY_DIR}/package/${pc}.pc.in\" \"${PROJECT_BINARY_DIR}/package/${pc}.pc\" @ONLY)")
  install(FILES ${PROJECT_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# An app built out of tree against the package installed in a temporary prefix receives an ad from the
# local ad server (linked from the build tree: it is a test tool, not part of the package).
if(BUILD_TESTING)
  set(_package_flags)
  if(RUZAVE_SANITIZE)
    set(_package_flags "-fsanitize=address,undefined -fno-omit-frame-pointer")
  elseif(RUZAVE_TSAN)
    set(_package_flags "-fsanitize=thread")
  endif()
  add_test(NAME package_install_app COMMAND ${CMAKE_COMMAND}
    -DBUILD_DIR=${PROJECT_BINARY_DIR} -DWORK=${PROJECT_BINARY_DIR}/package-test
    -DAPP_SOURCE=${PROJECT_SOURCE_DIR}/tests/package/app
    -DADSERVER_LIBRARY=$<TARGET_FILE:adserver> -DADSERVER_HEADERS=${PROJECT_SOURCE_DIR}/tools/adserver
    -DCXX=${CMAKE_CXX_COMPILER} -DCXX_FLAGS=${_package_flags} -DGENERATOR=${CMAKE_GENERATOR}
    -P ${PROJECT_SOURCE_DIR}/tests/package/PackageTest.cmake)
  set_tests_properties(package_install_app PROPERTIES TIMEOUT 120
    FAIL_REGULAR_EXPRESSION "Sanitizer|runtime error")
endif()
