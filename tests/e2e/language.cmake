# The resource library in the end-to-end rig (included by CMakeLists.txt):
# the launcher's resource module in the driver and the medium runner (they
# expect and report what the launcher makes of a library), the language cases
# under one locale each, and the libraries they use.
add_library(e2e_library_info STATIC library_info.cpp library_info.h)
target_link_libraries(e2e_library_info PUBLIC corvane_win)
corvane_warnings(e2e_library_info)
target_link_libraries(e2e_driver PRIVATE e2e_library_info)
target_link_libraries(medium_runner PRIVATE e2e_library_info)
add_dependencies(e2e_driver resmodule_fixtures sample_library_probing)

# Every entry may use them (the box cases take the probing library too).
set(_language_env
  "CORVANE_E2E_FIXTURES=${CMAKE_BINARY_DIR}/fixtures/resmodule"
  "CORVANE_E2E_PROBING_LIBRARY=$<TARGET_FILE:sample_library_probing>")
get_property(_e2e_entries DIRECTORY PROPERTY TESTS)
foreach(_entry ${_e2e_entries})
  set_property(TEST ${_entry} APPEND PROPERTY ENVIRONMENT ${_language_env})
endforeach()

# Wine takes a process's locale from LC_ALL at its start: one entry per
# locale, each naming the locale id it must see. No library lists Spanish
# (3082): the default language. The entries share the cases' folders, so
# they take turns.
foreach(_locale "en;en_US.UTF-8;1033" "de;de_DE.UTF-8;1031" "fr;fr_FR.UTF-8;1036" "es;es_ES.UTF-8;3082")
  list(GET _locale 0 _tag)
  list(GET _locale 1 _lc)
  list(GET _locale 2 _lcid)
  corvane_e2e_test(language.${_tag} "Language*" RESOURCE_LOCK e2e_language_cases)
  set_property(TEST e2e.language.${_tag} APPEND PROPERTY ENVIRONMENT
    ${_language_env} "LC_ALL=${_lc}" "CORVANE_E2E_EXPECT_LCID=${_lcid}")
endforeach()
