# What `cmake --install` (and `make install PREFIX=P`) puts into a prefix, and
# the Debian package `make package` builds from the same rules:
#   lib/         liborq.so.1 and its links, CMake package (orq::orq), orq.pc
#   include/orq/ the host header and the list of data IDs
#   bin/         orq-sim, orq-monitor, orq-dump, orq-plot, orq-server
#   share/orq/web/  the dashboard orq-server serves (its page and chart library)
#   share/java/  orq.jar
#   lib/python3/dist-packages/orq  the Python package (python/CMakeLists.txt)
#   share/doc/orq/  README, docs/ beside it (the README's links resolve there)
include(CMakePackageConfigHelpers)

install(TARGETS orq EXPORT orqTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES src/library/host/Dll.h src/library/host/DataIds.def DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/orq)

set(ORQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/orq)
install(EXPORT orqTargets NAMESPACE orq:: DESTINATION ${ORQ_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/orqConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES cmake/orqConfig.cmake ${CMAKE_BINARY_DIR}/orqConfigVersion.cmake DESTINATION ${ORQ_CMAKE_DIR})

# The pkg-config file names the prefix it is installed into, which
# `cmake --install --prefix` may choose only at install time.
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  set(ORQ_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(ORQ_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/orq.pc.in\" \"${CMAKE_BINARY_DIR}/pkgconfig/orq.pc\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\" TYPE FILE
       FILES \"${CMAKE_BINARY_DIR}/pkgconfig/orq.pc\")
")

# The tools find the library of their own prefix; orq-plot finds orq-dump
# beside it, orq-server its dashboard in ../share/orq/web. The dashboard is
# what the build assembled in build/tools/web: the page, and the chart library
# when npm was there to fetch it.
set(ORQ_INSTALLED_TOOLS orq-sim orq-monitor orq-dump orq-server)
set_target_properties(${ORQ_INSTALLED_TOOLS} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS ${ORQ_INSTALLED_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_BINARY_DIR}/tools/orq-plot DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/tools/web/ DESTINATION ${CMAKE_INSTALL_DATADIR}/orq/web)

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.md" PATTERN "*.png")

# A direct install into a prefix the loader searches renews its cache (see
# cmake/Ldconfig.cmake).
install(CODE "set(ORQ_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")")
install(SCRIPT cmake/Ldconfig.cmake)

# The consumer's view: install into a staging prefix, check the tools, the
# dashboard and the installed README's links, build every example and the
# README's C recipe against that prefix only, and run each against the
# simulator. Not in sanitizer builds: the examples, the JVM and the Python
# interpreter are built without the sanitizer runtime the library would need.
if(ORQ_BUILD_TESTS AND NOT ORQ_SANITIZE)
  if(TARGET orq_java)
    set(ORQ_EXAMPLES_JAVA 1)
  else()
    set(ORQ_EXAMPLES_JAVA 0)
  endif()
  add_test(NAME examples_against_installed_prefix
    COMMAND bash ${CMAKE_SOURCE_DIR}/examples/check.sh ${CMAKE_BINARY_DIR} ${ORQ_EXAMPLES_JAVA})
  set_tests_properties(examples_against_installed_prefix PROPERTIES LABELS "examples;system" TIMEOUT 600)
endif()

# Debian package: `make package` (or `cmake --build build --target package`).
# dpkg-shlibdeps finds the runtime dependencies (the Boost libraries, libc,
# libstdc++); the shlibs file comes with the library, and so do the postinst
# and postrm that run ldconfig (CPack writes them for a library in /usr/lib).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orq)
set(CPACK_PACKAGE_VENDOR "orq developers")
set(CPACK_PACKAGE_CONTACT "orq developers <orq@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial link library for an unmanned aircraft system")
set(CPACK_PACKAGE_DESCRIPTION "liborq.so, its C header, CMake and pkg-config files, Java and Python bindings, the device simulator, the monitor, the capture tools, and the web server with its dashboard.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, python3-matplotlib, java-runtime-headless")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
