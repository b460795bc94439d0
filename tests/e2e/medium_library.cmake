# The documented example library, built by `medium library` (the host tool of
# the nested tools build), run under the locales it serves (included by
# CMakeLists.txt).
set(_example_dir ${CMAKE_SOURCE_DIR}/docs/examples/library)
set(_example_dll ${CMAKE_CURRENT_BINARY_DIR}/example-library/_SETUP.DLL)
add_custom_command(OUTPUT ${_example_dll}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/example-library
  COMMAND ${CORVANE_MEDIUM} library ${_example_dir}/library.txt -o ${_example_dll}
  DEPENDS hosttools ${CORVANE_MEDIUM} ${_example_dir}/library.txt ${_example_dir}/english.lgo ${_example_dir}/spanish.lgo
  COMMENT "medium library: the documented example")
# A bitmap splash for English, none for Spanish.
set(_bitmap_dir ${CMAKE_SOURCE_DIR}/tests/fixtures/medium-library)
set(_bitmap_dll ${CMAKE_CURRENT_BINARY_DIR}/bitmap-library/_SETUP.DLL)
add_custom_command(OUTPUT ${_bitmap_dll}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/bitmap-library
  COMMAND ${CORVANE_MEDIUM} library ${_bitmap_dir}/bitmap.txt -o ${_bitmap_dll}
  DEPENDS hosttools ${CORVANE_MEDIUM} ${_bitmap_dir}/bitmap.txt ${_bitmap_dir}/halves.bmp
  COMMENT "medium library: a bitmap splash")
add_custom_target(example_library ALL DEPENDS ${_example_dll} ${_bitmap_dll})
add_dependencies(e2e_driver example_library)

# The text splash writes _ins1163.tmp into the Windows directory, which other
# cases clear: they take turns.
foreach(_locale "en;en_US.UTF-8;1033" "es;es_ES.UTF-8;3082" "de;de_DE.UTF-8;1031")
  list(GET _locale 0 _tag)
  list(GET _locale 1 _lc)
  list(GET _locale 2 _lcid)
  corvane_e2e_test(medium_library.${_tag} "ExampleLibrary*:BitmapLibrary*" RESOURCE_LOCK windows_directory)
  set_property(TEST e2e.medium_library.${_tag} APPEND PROPERTY ENVIRONMENT
    "LC_ALL=${_lc}" "CORVANE_E2E_EXPECT_LCID=${_lcid}" "CORVANE_E2E_EXAMPLE_LIBRARY=${_example_dll}"
    "CORVANE_E2E_BITMAP_LIBRARY=${_bitmap_dll}")
endforeach()
