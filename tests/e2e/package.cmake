# Media that builders make with the packaged tools (included by
# CMakeLists.txt once the stub and the payload originals are known).
#
# e2e.bootstrap_template: the documented template bootstrap as the first
# payload of a medium made by `medium build`.
# e2e.package: a medium made from the Debian package alone (build it first
# with scripts/package.sh), unsigned and signed; e2e.package.rules: the
# package itself.

add_executable(bootstrap_template WIN32 ${CMAKE_SOURCE_DIR}/docs/examples/bootstrap/template.c)
target_link_options(bootstrap_template PRIVATE -static -mwindows -s)
corvane_warnings(bootstrap_template)

set(_template_medium ${CMAKE_BINARY_DIR}/template-medium)
add_custom_command(OUTPUT ${_template_medium}/setup.exe ${_template_medium}/SETUP.INS ${_template_medium}/_SETUP.DLL
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_template_medium}
  COMMAND ${CORVANE_MEDIUM} build --stub $<TARGET_FILE:stub>
          --bootstrap $<TARGET_FILE:bootstrap_template> --engine ${_engine} --companion ${_companion}
          --script ${CORVANE_SAMPLE_SCRIPT} --library $<TARGET_FILE:sample_library> --out ${_template_medium}
  DEPENDS stub hosttools bootstrap_template sample_library sample_engine ${CORVANE_SAMPLE_SCRIPT}
  COMMENT "Medium with the template bootstrap"
  VERBATIM)
add_custom_target(template_medium DEPENDS ${_template_medium}/setup.exe)
add_dependencies(e2e_driver template_medium)
corvane_e2e_test(bootstrap_template "BootstrapTemplate*" FIXTURES_REQUIRED corvane_locales)
set_property(TEST e2e.bootstrap_template APPEND PROPERTY ENVIRONMENT
  "CORVANE_E2E_TEMPLATE_MEDIUM=${_template_medium}" "LC_ALL=en_US.UTF-8" "LOCPATH=${CORVANE_LOCPATH}")

set(CORVANE_PACKAGE_DIR ${CMAKE_SOURCE_DIR}/build/release/package CACHE PATH
    "Where scripts/package.sh leaves the Debian package that e2e.package tests")
set(_package_media ${CMAKE_BINARY_DIR}/package-media)
# Debian's rules (lintian, manual pages, copyright, changelog) and pages that
# stand without the source tree.
add_test(NAME e2e.package.rules
  COMMAND ${CMAKE_SOURCE_DIR}/tests/package/check-package.sh ${CORVANE_PACKAGE_DIR} ${CMAKE_BINARY_DIR}/package-rules)
# The package carries the i686 stub; the x86-64 twin puts its own in its
# place, so that the packaged tools make media its Wine can run.
set(_package_stub)
if(CORVANE_WIN64)
  set(_package_stub $<TARGET_FILE:stub>)
endif()
add_test(NAME e2e.package.make
  COMMAND ${CMAKE_SOURCE_DIR}/tests/package/make-medium.sh ${CORVANE_PACKAGE_DIR} ${_package_media}
          ${_boot} ${_engine} ${_companion} ${CORVANE_SAMPLE_SCRIPT} ${_package_stub})
set_tests_properties(e2e.package.make PROPERTIES FIXTURES_SETUP package_media)
# The example library's text splash writes _ins1163.tmp into the Windows
# directory, which other cases clear: they take turns.
corvane_e2e_test(package "PackagedMedium*" RESOURCE_LOCK windows_directory FIXTURES_REQUIRED package_media)
set_property(TEST e2e.package APPEND PROPERTY ENVIRONMENT "CORVANE_E2E_PACKAGE_MEDIA=${_package_media}")
