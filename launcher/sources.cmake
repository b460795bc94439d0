# Sources of the launcher core. Portable ones build in both builds; the
# Windows ones only in the win32 build; WinMain and the entry point live
# apart so that the Windows test programs can link everything else.
set(_d ${CMAKE_CURRENT_LIST_DIR})
list(APPEND CORVANE_PORTABLE_SOURCES
  ${_d}/cmdline.cpp
  ${_d}/launchcmd.cpp
  ${_d}/state.cpp
)
list(APPEND CORVANE_WIN32_SOURCES
  ${_d}/errorbox.cpp
  ${_d}/startup.cpp
  ${_d}/workdir.cpp
  ${_d}/extract.cpp
  ${_d}/launch.cpp
  ${_d}/mainwnd.cpp
)
set(CORVANE_WINMAIN_SOURCES ${_d}/main.cpp ${_d}/entry.cpp)
