# The base: platform seam, memory blocks, text and path helpers, byte
# cursor, ids and ticks. Depends on nothing else of
# ours; every other folder builds on it.
set(_d ${CMAKE_CURRENT_LIST_DIR})
list(APPEND CORVANE_PORTABLE_SOURCES
  ${_d}/text.cpp
  ${_d}/blocks.cpp
  ${_d}/bytes.cpp
  ${_d}/strblock.cpp
  ${_d}/crc32.cpp
  ${_d}/szdd.cpp
  ${_d}/payload_record.cpp
)
list(APPEND CORVANE_HOST_SOURCES
  ${_d}/platform_host.cpp
)
list(APPEND CORVANE_WIN32_SOURCES
  ${_d}/platform_win32.cpp
  ${_d}/files_win32.cpp
  ${_d}/ticks.cpp
)
# The C runtime routines that setup.exe needs, which links no C runtime.
set(CORVANE_RUNTIME_SOURCES ${_d}/crt_win32.cpp)
