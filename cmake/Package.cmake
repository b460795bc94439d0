# The Debian package for media builders: the three tools (release builds), the
# payload-free launcher stub and the builders' documentation. `medium build`
# finds the stub at ../share/corvane/setup-stub.exe beside itself, so the
# layout below is what lets it work without --stub. Built by
# scripts/package.sh (preset tools-release, then cpack).
set(CORVANE_STUB "${CMAKE_SOURCE_DIR}/build/win32/stub/setup-stub.exe" CACHE FILEPATH
    "The payload-free launcher (setup-stub.exe) of a win32 build")

include(GNUInstallDirs)
# Packaging builds the three tools only (scripts/package.sh), not the test helpers.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS medium szdd langtable RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CORVANE_STUB} DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane RENAME setup-stub.exe)

set(_doc ${CMAKE_INSTALL_DATADIR}/doc/corvane-medium)
install(FILES
  ${CMAKE_SOURCE_DIR}/docs/first-medium.md
  ${CMAKE_SOURCE_DIR}/docs/bootstrap.md
  ${CMAKE_SOURCE_DIR}/docs/medium-library.md
  ${CMAKE_SOURCE_DIR}/docs/resource-library.md
  ${CMAKE_SOURCE_DIR}/docs/splash.md
  DESTINATION ${_doc})
install(FILES ${CMAKE_SOURCE_DIR}/tools/medium/README.md DESTINATION ${_doc} RENAME medium.md)
install(FILES ${CMAKE_SOURCE_DIR}/tools/langtable/README.md DESTINATION ${_doc} RENAME langtable.md)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/examples ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane-medium)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane Setup team <setup@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Makes installation media around the Corvane Setup launcher")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "medium builds a medium's setup.exe from the prebuilt launcher and three\npayloads, and the resource library _SETUP.DLL from a text description;\nszdd compresses files into SZDD; langtable compiles language tables.\nNo compiler, resource compiler or Wine is needed.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "osslsigncode, wine")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
