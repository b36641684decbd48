# The Debian package, `cpack -G DEB` (or the `package` target) in the build folder. Included
# last from the top folder, where CPack must be. Its files are the install rules' files,
# stripped, below /usr; the system's own configuration (the autostart entry) in /etc.
set(NB_DEB_MAINTAINER "nimbra-desktop developers <devel@nimbra-desktop.example>")
set(NB_DEB_VERSION ${PROJECT_VERSION}-1)

# The package's own documents, for any prefix: Debian's changelog gzipped without a
# timestamp, so rebuilding gives the same bytes.
include(GNUInstallDirs)
set(nb_doc ${CMAKE_INSTALL_DATADIR}/doc/nimbra-desktop)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.Debian.in
  ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/changelog.Debian
  RESULT_VARIABLE nb_gzip)
if(NOT nb_gzip EQUAL 0)
  message(FATAL_ERROR "gzip could not compress the package's changelog")
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
  DESTINATION ${nb_doc})
# The lintian warnings the package keeps, with their reasons.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME nimbra-desktop)

set(CPACK_PACKAGE_NAME nimbra-desktop)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${NB_DEB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop side of a handheld real-estate appraisal application")
set(CPACK_PACKAGE_DESCRIPTION
  "The HotSync Manager (hotsync) synchronises handhelds with the desktop over
the network, a cradle or a cable: their databases, the files to install on
them and the conduits of their applications. At every synchronisation Valtrix
exports the appraisals the handheld collected into its Inbox and imports the
appraisal software's files from its Outbox; appinstaller installs the
appraisal application, and nbreg reads and changes the desktop's registry.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Installed with DESTDIR, so the prefix the install rules see is /usr and the autostart
# entry goes to /etc.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps, run in the package's folder, resolves our own libraries here, not in the
# system's library folders.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${NB_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
configure_file(${CMAKE_CURRENT_LIST_DIR}/conffiles ${CMAKE_BINARY_DIR}/packaging/conffiles COPYONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
include(CPack)
