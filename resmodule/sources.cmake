set(_d ${CMAKE_CURRENT_LIST_DIR})
list(APPEND CORVANE_PORTABLE_SOURCES
  ${_d}/keyedtable.cpp
  ${_d}/langtable_parse.cpp
)
list(APPEND CORVANE_WIN32_SOURCES
  ${_d}/resmodule.cpp
  ${_d}/reslibrary.cpp
  ${_d}/resbytes.cpp
  ${_d}/setupstring.cpp
  ${_d}/langtable_load_win32.cpp
)
