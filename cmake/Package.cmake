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
# The JSON schemas of `medium build --json` and `medium inspect --json`, for
# the scripts that read them.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/schema/ DESTINATION ${CMAKE_INSTALL_DATADIR}/corvane/schema)

# The builders' pages: only pages that speak of what the package installs
# (the contributor pages of the source tree stay there); the tools' manual
# pages; the copyright and changelog Debian asks for.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/corvane-medium)
install(FILES
  ${CMAKE_SOURCE_DIR}/docs/first-medium.md
  ${CMAKE_SOURCE_DIR}/docs/bootstrap.md
  ${CMAKE_SOURCE_DIR}/docs/exit-codes.md
  ${CMAKE_SOURCE_DIR}/docs/medium-library.md
  ${CMAKE_SOURCE_DIR}/docs/seal.md
  ${CMAKE_SOURCE_DIR}/docs/package/copyright
  DESTINATION ${_doc})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/examples ${CMAKE_SOURCE_DIR}/docs/images DESTINATION ${_doc})

find_program(SCDOC scdoc REQUIRED)
find_program(GZIP gzip REQUIRED)
set(_gz_dir ${CMAKE_BINARY_DIR}/package-files)
set(_man_pages)
foreach(_tool medium szdd langtable)
  set(_src ${CMAKE_SOURCE_DIR}/docs/man/${_tool}.1.scd)
  set(_out ${_gz_dir}/${_tool}.1.gz)
  # gzip -n: no name or time stamp inside, so the package is the same each time.
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
    COMMAND sh -c "'${SCDOC}' < '${_src}' | '${GZIP}' -9n > '${_out}'"
    DEPENDS ${_src} VERBATIM)
  list(APPEND _man_pages ${_out})
endforeach()
add_custom_command(OUTPUT ${_gz_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz_dir}
  COMMAND sh -c "'${GZIP}' -9n < '${CMAKE_SOURCE_DIR}/docs/package/changelog' > '${_gz_dir}/changelog.gz'"
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/package/changelog VERBATIM)
add_custom_target(package_files ALL DEPENDS ${_man_pages} ${_gz_dir}/changelog.gz)
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_gz_dir}/changelog.gz DESTINATION ${_doc})

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
