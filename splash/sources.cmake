set(_d ${CMAKE_CURRENT_LIST_DIR})
list(APPEND CORVANE_PORTABLE_SOURCES
  ${_d}/splash_state.cpp
  ${_d}/orderedlist.cpp
  ${_d}/placement.cpp
  ${_d}/splashchoice.cpp
  ${_d}/bitmapcheck.cpp
  ${_d}/dialogcheck.cpp
  ${_d}/logoparse.cpp
  ${_d}/logoread.cpp
)
list(APPEND CORVANE_WIN32_SOURCES
  ${_d}/splash.cpp
  ${_d}/splashdlg.cpp
  ${_d}/logo_win32.cpp
  ${_d}/placement_win32.cpp
)
