# Native build: the portable core, the host tools, unit tests under ASan and
# UBSan, and libFuzzer targets.
if(CORVANE_SANITIZE AND NOT CORVANE_TOOLS_ONLY)
  set(CORVANE_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${CORVANE_SAN_FLAGS} -g -O1)
  add_link_options(${CORVANE_SAN_FLAGS})
endif()

# The packaged tools are hardened as Debian builds its own: fortified libc
# calls, stack protector, read-only relocations bound at start.
if(CORVANE_PACKAGE)
  add_compile_options(-D_FORTIFY_SOURCE=2 -fstack-protector-strong)
  add_link_options(-Wl,-z,relro,-z,now)
endif()

add_library(corvane_core STATIC ${CORVANE_PORTABLE_SOURCES} ${CORVANE_HOST_SOURCES})
target_include_directories(corvane_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(corvane_core PUBLIC CORVANE_HOST=1)
corvane_warnings(corvane_core)

file(GLOB _tool_dirs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/CMakeLists.txt)
foreach(_f ${_tool_dirs})
  get_filename_component(_dir ${_f} DIRECTORY)
  add_subdirectory(${_dir})
endforeach()

if(CORVANE_PACKAGE)
  include(${CMAKE_SOURCE_DIR}/cmake/Package.cmake)
endif()

if(CORVANE_TOOLS_ONLY)
  return()
endif()

enable_testing()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Unit tests shared with the win32 build, plus native-only ones.
file(GLOB CORVANE_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
file(GLOB CORVANE_HOST_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/*.cpp)
add_executable(unit_tests ${CORVANE_UNIT_TESTS} ${CORVANE_HOST_TESTS})
target_link_libraries(unit_tests PRIVATE corvane_core GTest::gtest_main)
foreach(_t ${CORVANE_HOST_TEST_LIBS})
  target_link_libraries(unit_tests PRIVATE ${_t})
endforeach()
target_compile_definitions(unit_tests PRIVATE CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
corvane_warnings(unit_tests)
add_test(NAME host.unit COMMAND unit_tests)
if(TARGET szdd)
  add_test(NAME host.szdd_cli COMMAND ${CMAKE_SOURCE_DIR}/tests/host/szdd_cli.sh $<TARGET_FILE:szdd>)
endif()
if(TARGET medium AND TARGET szdd AND TARGET langtable)
  add_test(NAME host.usage_exit COMMAND ${CMAKE_SOURCE_DIR}/tests/host/usage_exit.sh
           $<TARGET_FILE:medium> $<TARGET_FILE:szdd> $<TARGET_FILE:langtable>)
endif()

# The folder order: no file includes a header from a folder above its own.
# The second entry shows the check refuses a tree where the base reaches up.
add_test(NAME layers.order COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh ${CMAKE_SOURCE_DIR})
add_test(NAME layers.refuses COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh
         ${CMAKE_SOURCE_DIR}/tests/fixtures/layers)
set_tests_properties(layers.refuses PROPERTIES
  PASS_REGULAR_EXPRESSION "base/reaches_up.h: includes a header of launcher/")
# The tools: each tree breaks one rule, and the check names it.
set(_layer_cases
  "dotdot|tools/lib/climbs.cpp: includes through \"..\""
  "dotdot-base|base/climbs.h: includes through \"..\""
  "across|tools/medium/reaches_over.cpp: includes a header of tools/langtable/"
  "lib-up|tools/lib/reaches_up.cpp: includes a header of tools/medium/"
  "tool-launcher|tools/szdd/uses_launcher.cpp: includes a header of launcher/"
  "parser-box|launcher/cmdline.cpp: a parser includes a launcher header other than its own"
  "parser-bare|launcher/cmdline.cpp: a parser includes a launcher header other than its own: #include \"state.h\""
  "base-record|base/state.h:3: a base header names a launcher or splash record")
foreach(_case ${_layer_cases})
  string(FIND "${_case}" "|" _bar)
  string(SUBSTRING "${_case}" 0 ${_bar} _name)
  math(EXPR _bar "${_bar} + 1")
  string(SUBSTRING "${_case}" ${_bar} -1 _expect)
  add_test(NAME layers.refuses.${_name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh
           ${CMAKE_SOURCE_DIR}/tests/fixtures/layers-tools/${_name})
  set_tests_properties(layers.refuses.${_name} PROPERTIES PASS_REGULAR_EXPRESSION "${_expect}"
                       FAIL_REGULAR_EXPRESSION "folder order holds")
endforeach()

# Every relative link of the Markdown pages leads somewhere; the second entry
# shows the check finds a missing page, a missing heading and a missing
# heading of the page itself, and nothing in code.
add_test(NAME docs.links COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-links.py
         --skip ${CMAKE_SOURCE_DIR}/tests/fixtures ${CMAKE_SOURCE_DIR})
add_test(NAME docs.links_refused COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-links.py
         ${CMAKE_SOURCE_DIR}/tests/fixtures/links)
set_tests_properties(docs.links_refused PROPERTIES PASS_REGULAR_EXPRESSION
  "page.md:8: missing.md: no such file\n[^\n]*page.md:8: other.md#nowhere: no heading \"#nowhere\" in other.md\n[^\n]*page.md:8: #nowhere-here: no heading \"#nowhere-here\" in page.md\n[^\n]*check-links: 2 pages, 3 broken links")

# Fuzz targets: tests/fuzz/fuzz_NAME.cpp, corpus in tests/fuzz/corpus/NAME.
if(CORVANE_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  # The fuzzers steer by the coverage of the code they drive, so they link a
  # copy of the core that is instrumented for it (the unit tests keep theirs).
  # Tools add their parsers to it through CORVANE_FUZZ_TOOL_SOURCES.
  add_library(corvane_core_fuzz STATIC ${CORVANE_PORTABLE_SOURCES} ${CORVANE_HOST_SOURCES}
              ${CORVANE_FUZZ_TOOL_SOURCES} ${CORVANE_FUZZ_CODEC_SOURCES})
  target_include_directories(corvane_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_definitions(corvane_core_fuzz PUBLIC CORVANE_HOST=1)
  target_compile_options(corvane_core_fuzz PRIVATE -fsanitize=fuzzer-no-link)
  target_link_libraries(corvane_core_fuzz PUBLIC ${CORVANE_FUZZ_EXTRA_LIBS})
  corvane_warnings(corvane_core_fuzz)
  set(_fuzz_libs ${CORVANE_HOST_TEST_LIBS})
  if(CORVANE_FUZZ_CODEC_LIBS)
    list(REMOVE_ITEM _fuzz_libs ${CORVANE_FUZZ_CODEC_LIBS})
  endif()
  file(GLOB _fuzzers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(_src ${_fuzzers})
    get_filename_component(_name ${_src} NAME_WE)
    string(REPLACE "fuzz_" "" _short ${_name})
    add_executable(${_name} ${_src})
    target_compile_options(${_name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${_name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${_name} PRIVATE corvane_core_fuzz ${_fuzz_libs})
    corvane_warnings(${_name})
    set(_corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${_short})
    # Smoke run: a few seconds on a scratch copy of the kept corpus.
    add_test(NAME fuzz.${_short}
      COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:${_name}> -DCORPUS=${_corpus}
              -DWORK=${CMAKE_BINARY_DIR}/fuzz-work/${_short} -DSECONDS=5
              -P ${CMAKE_SOURCE_DIR}/cmake/FuzzSmoke.cmake)
  endforeach()
endif()
