# Resources of the sample library that the build makes: the pictures of the
# splashes, drawn with ImageMagick (24-bit bitmaps: the 400 x 240 bitmap
# splash 7510 and the dialog's banner 7511, see splash.rc), and the language
# table compiled from langtable.txt.
find_program(CORVANE_CONVERT convert REQUIRED)
set(_gen ${CMAKE_CURRENT_BINARY_DIR}/library)
set(_lib ${CMAKE_CURRENT_SOURCE_DIR}/library)
file(MAKE_DIRECTORY ${_gen})
add_custom_command(OUTPUT ${_gen}/splash.bmp
  COMMAND ${CORVANE_CONVERT} -size 400x240 -define gradient:angle=135 "gradient:#0b2545-#1b6f8a"
          -fill "rgba(255,255,255,0.07)" -draw "circle 340,50 340,170" -draw "circle 380,220 380,290"
          -fill "rgba(255,255,255,0.05)" -draw "circle 250,-40 250,60"
          -fill "#f4a259" -draw "rectangle 36,150 96,153"
          -font DejaVu-Sans-Bold -pointsize 44 -fill white -annotate +32+128 Corvane
          -font DejaVu-Sans -pointsize 15 -fill "#d6ecf3" -annotate +36+182 "Setup is preparing the installation"
          -font DejaVu-Sans -pointsize 11 -fill "#9cc3d5" -annotate +36+216 "Please wait a moment"
          -type TrueColor BMP3:${_gen}/splash.bmp
  VERBATIM)
add_custom_command(OUTPUT ${_gen}/banner.bmp
  COMMAND ${CORVANE_CONVERT} -size 340x52 "xc:#0b2545"
          -font DejaVu-Sans-Bold -pointsize 22 -fill white -gravity center -annotate +0-5 "Corvane Setup"
          -fill "#f4a259" -draw "rectangle 150,41 190,43"
          -type TrueColor BMP3:${_gen}/banner.bmp
  VERBATIM)
# Which splash the sample medium shows (docs/splash.md): "dialog", "bitmap"
# or "text" put splash type 2, 4 or 5 into the table's header; empty keeps
# the header of langtable.txt.
set(CORVANE_SAMPLE_SPLASH "" CACHE STRING "Splash of the sample medium: dialog, bitmap or text (empty: as langtable.txt says)")
set_property(CACHE CORVANE_SAMPLE_SPLASH PROPERTY STRINGS "" dialog bitmap text)
set(_table ${_lib}/langtable.txt)
if(CORVANE_SAMPLE_SPLASH)
  set(_splash_types dialog 2 bitmap 4 text 5)
  list(FIND _splash_types "${CORVANE_SAMPLE_SPLASH}" _at)
  if(_at LESS 0 OR CORVANE_SAMPLE_SPLASH MATCHES "^[0-9]")
    message(FATAL_ERROR "CORVANE_SAMPLE_SPLASH is dialog, bitmap or text, not '${CORVANE_SAMPLE_SPLASH}'")
  endif()
  math(EXPR _at "${_at} + 1")
  list(GET _splash_types ${_at} _splash_type)
  file(READ ${_lib}/langtable.txt _text)
  string(REGEX REPLACE "\nsplash [0-9]+" "\nsplash ${_splash_type}" _text "${_text}")
  file(CONFIGURE OUTPUT ${_gen}/langtable.txt CONTENT "${_text}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_lib}/langtable.txt)
  set(_table ${_gen}/langtable.txt)
endif()
add_custom_command(OUTPUT ${_gen}/langtable.bin
  COMMAND ${CORVANE_LANGTABLE} compile ${_table} ${_gen}/langtable.bin
  DEPENDS hosttools ${_table}
  VERBATIM)
target_include_directories(sample_library PRIVATE ${CMAKE_SOURCE_DIR} ${_lib} ${_gen})
set_property(SOURCE library/_setup.rc APPEND PROPERTY OBJECT_DEPENDS
  ${_gen}/splash.bmp ${_gen}/banner.bmp ${_gen}/langtable.bin ${_lib}/splash.rc ${_lib}/messages.rc ${_lib}/logo.lgo ${CMAKE_SOURCE_DIR}/resources/launcher.ico)
