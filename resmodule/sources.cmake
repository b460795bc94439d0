set(_d ${CMAKE_CURRENT_LIST_DIR})
list(APPEND CORVANE_WIN32_SOURCES
  ${_d}/resmodule.cpp
)
