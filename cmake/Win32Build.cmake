# Cross build: the launcher, the sample medium and the Windows tests.
enable_language(RC)
enable_testing()

# Reproducible output: no PE timestamp, no build paths in the binary.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_link_options(-Wl,--no-insert-timestamp)

# The host tools (SZDD compressor, language table compiler) are built with the
# native compiler, as a nested build of this same tree.
include(ExternalProject)
set(CORVANE_HOSTTOOLS_DIR ${CMAKE_BINARY_DIR}/hosttools)
ExternalProject_Add(hosttools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CORVANE_HOSTTOOLS_DIR}
  CMAKE_ARGS -DCORVANE_TOOLS_ONLY=ON -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF
             -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++
  CMAKE_GENERATOR Ninja
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${CORVANE_HOSTTOOLS_DIR}/tools/szdd/szdd ${CORVANE_HOSTTOOLS_DIR}/tools/langtable/langtable
                   ${CORVANE_HOSTTOOLS_DIR}/tools/medium/medium
                   ${CORVANE_HOSTTOOLS_DIR}/tools/medium/medium_rewrap)
set(CORVANE_SZDD ${CORVANE_HOSTTOOLS_DIR}/tools/szdd/szdd)
set(CORVANE_LANGTABLE ${CORVANE_HOSTTOOLS_DIR}/tools/langtable/langtable)
set(CORVANE_MEDIUM ${CORVANE_HOSTTOOLS_DIR}/tools/medium/medium)
set(CORVANE_MEDIUM_REWRAP ${CORVANE_HOSTTOOLS_DIR}/tools/medium/medium_rewrap)

# The two Windows builds: i686 (the product) and its x86-64 twin, which runs
# the same sources and tests under wine64 where the kernel runs 64-bit code
# only. Per architecture: the size flags, how an stdcall entry symbol is
# spelt (i686 decorates it as _Name@bytes, x86-64 has one calling
# convention and no decoration), and the linker's output format.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CORVANE_WIN64 ON)
  set(CORVANE_WINE_ARCH win64)
  # x86-64 keeps the ABI's 16-byte stack alignment and its own tuning.
  set(CORVANE_ARCH_SIZE_FLAGS)
  set(CORVANE_PE_FORMAT pei-x86-64)
else()
  set(CORVANE_WIN64 OFF)
  set(CORVANE_WINE_ARCH win32)
  # 4-byte stack alignment, instruction choices tuned for size-friendly
  # encodings (i386 tuning; the code still runs on any x86).
  set(CORVANE_ARCH_SIZE_FLAGS -mpreferred-stack-boundary=2 -mtune=i386)
  set(CORVANE_PE_FORMAT pei-i386)
endif()
# Test programs run through the toolchain's emulator (scripts/wine-run or
# wine64-run); a test that runs a script which starts Wine itself runs it
# through CORVANE_WINE_ENV so that the script picks this tree's Wine.
set(CORVANE_WINE_ENV ${CMAKE_COMMAND} -E env CORVANE_WINE_ARCH=${CORVANE_WINE_ARCH})
# corvane_entry_symbol(VAR NAME ARGBYTES): the linker's name of the WINAPI
# function NAME whose arguments take ARGBYTES on i686.
function(corvane_entry_symbol var name argbytes)
  if(CORVANE_WIN64)
    set(${var} ${name} PARENT_SCOPE)
  else()
    set(${var} _${name}@${argbytes} PARENT_SCOPE)
  endif()
endfunction()

# Size and hardening flags for the launcher's own code (corvane_win, which
# the Windows tests link too).
set(CORVANE_LAUNCHER_COMPILE -Os -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections
    -fno-asynchronous-unwind-tables -fno-unwind-tables)
# setup.exe itself is one translation unit compiled as the whole program, and
# links no C runtime: its entry point is LauncherEntry (launcher/entry.cpp),
# the few runtime routines it needs are base/crt_win32.cpp (libgcc only in
# case the compiler calls a helper), and cmake/launcher.ld.in merges the
# sections. Relocations stay (ASLR), and DEP is on.
# Without stack probes the arguments can be pushed instead of stored into a
# reserved area (much shorter code); that is sound only while no frame can
# step over the stack's guard page, so frames larger than 3 KiB, alloca and
# variable-length arrays are errors. No frame pointer.
set(CORVANE_SETUP_COMPILE -Oz -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-inline-small-functions -ffreestanding -fwhole-program -fno-ident
    -fomit-frame-pointer -mno-stack-arg-probe -Wframe-larger-than=3072 -Walloca -Wvla
    -fconserve-stack ${CORVANE_ARCH_SIZE_FLAGS})
configure_file(${CMAKE_SOURCE_DIR}/cmake/launcher.ld.in ${CMAKE_BINARY_DIR}/generated/launcher.ld @ONLY)
set(CORVANE_SETUP_LINK_SCRIPT ${CMAKE_BINARY_DIR}/generated/launcher.ld)
corvane_entry_symbol(_launcher_entry LauncherEntry 0)
# DllMain of the test libraries that carry code.
corvane_entry_symbol(CORVANE_DLLMAIN_ENTRY DllMain 12)
set(CORVANE_LAUNCHER_LINK -static -nostdlib -nostartfiles -s -Wl,--subsystem,windows
    -Wl,-e,${_launcher_entry} -Wl,-T,${CORVANE_SETUP_LINK_SCRIPT}
    -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat)
set(CORVANE_LAUNCHER_LIBS kernel32 user32 gdi32 gcc)

add_library(corvane_win STATIC ${CORVANE_PORTABLE_SOURCES} ${CORVANE_WIN32_SOURCES})
target_include_directories(corvane_win PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(corvane_win PRIVATE ${CORVANE_LAUNCHER_COMPILE})
target_link_libraries(corvane_win PUBLIC gdi32 user32 kernel32)
corvane_warnings(corvane_win)

if(EXISTS ${CMAKE_SOURCE_DIR}/sample/CMakeLists.txt)
  add_subdirectory(sample)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/resources/CMakeLists.txt)
  add_subdirectory(resources)
endif()

# GoogleTest for the Windows tests.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The SZDD codec, compiled for Windows too, so a test can check that LZCopy
# expands what the host tool writes.
add_subdirectory(tools/lib)

file(GLOB CORVANE_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
file(GLOB CORVANE_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
add_executable(win_tests ${CORVANE_UNIT_TESTS} ${CORVANE_WIN_TESTS})
target_link_libraries(win_tests PRIVATE corvane_win GTest::gtest_main ${CORVANE_WIN_TEST_LIBS})
target_link_options(win_tests PRIVATE -static)
target_compile_definitions(win_tests PRIVATE CORVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
corvane_warnings(win_tests)
add_test(NAME win.unit COMMAND win_tests)

# UTF-8 locales compiled for glibc (LOCPATH), so that Wine can give folders
# names from other scripts: the wide-path cases run under them.
set(CORVANE_LOCPATH ${CMAKE_BINARY_DIR}/locales)
add_test(NAME win.locales COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-locales.sh ${CORVANE_LOCPATH} en_US de_DE ja_JP)
set_tests_properties(win.locales PROPERTIES FIXTURES_SETUP corvane_locales)
# Real folders named in a script the code page lacks, in code pages 1252 and 932.
foreach(_locale "en;en_US.UTF-8" "ja;ja_JP.UTF-8")
  list(GET _locale 0 _tag)
  list(GET _locale 1 _lc)
  add_test(NAME win.unit.widepaths.${_tag} COMMAND win_tests --gtest_filter=WidePath*)
  set_tests_properties(win.unit.widepaths.${_tag} PROPERTIES FIXTURES_REQUIRED corvane_locales
    ENVIRONMENT "LC_ALL=${_lc};LOCPATH=${CORVANE_LOCPATH}")
endforeach()

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(tests/e2e)
endif()
# Helpers of the start-up benchmark (tests/bench/bench-startup.sh).
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/bench/CMakeLists.txt)
  add_subdirectory(tests/bench)
endif()
# The splash tests: a program with resources of its own and test libraries.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/splash/CMakeLists.txt)
  add_subdirectory(tests/splash)
endif()

# Fixtures of the Windows tests (resource libraries built around tables).
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fixtures/CMakeLists.txt)
  add_subdirectory(tests/fixtures)
endif()

# The double-byte cases again, under code page 932 (Wine follows LC_ALL).
add_test(NAME win.unit.cp932 COMMAND win_tests --gtest_filter=*Cp932*)
set_tests_properties(win.unit.cp932 PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8")


