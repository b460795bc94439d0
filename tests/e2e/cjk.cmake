# Libraries in East Asian languages made by `medium library`, each run under
# the locale it serves (included by CMakeLists.txt).
set(_cjk_fixtures ${CMAKE_SOURCE_DIR}/tests/fixtures/cjk)
file(GLOB _cjk_logos CONFIGURE_DEPENDS ${_cjk_fixtures}/*.lgo)
foreach(_lang "ja;ja_JP.UTF-8" "zh-hans;zh_CN.UTF-8" "zh-hant;zh_TW.UTF-8" "ko;ko_KR.UTF-8")
  list(GET _lang 0 _tag)
  list(GET _lang 1 _lc)
  set(_dll ${CMAKE_CURRENT_BINARY_DIR}/cjk-${_tag}/_SETUP.DLL)
  add_custom_command(OUTPUT ${_dll}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/cjk-${_tag}
    COMMAND ${CORVANE_MEDIUM} library ${_cjk_fixtures}/${_tag}.txt -o ${_dll}
    DEPENDS hosttools ${CORVANE_MEDIUM} ${_cjk_fixtures}/${_tag}.txt ${_cjk_logos}
    COMMENT "medium library: ${_tag}")
  add_custom_target(cjk_library_${_tag} ALL DEPENDS ${_dll})
  add_dependencies(e2e_driver cjk_library_${_tag})
  # The boxes are compared by picture: nothing else may stand on the screen.
  corvane_e2e_test(cjk.${_tag} "CjkLibrary*" RUN_SERIAL TRUE)
  set_property(TEST e2e.cjk.${_tag} APPEND PROPERTY ENVIRONMENT
    "LC_ALL=${_lc}" "CORVANE_E2E_CJK=${_tag}" "CORVANE_E2E_CJK_LIBRARY=${_dll}")
endforeach()
