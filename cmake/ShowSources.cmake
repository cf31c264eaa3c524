# The show's own sources: plain Win32 + Direct3D 9 + D3DX 9 code, compiled
# once per configuration.
set(SHOW_SOURCES
  app/startup.cpp
  app/winmain.cpp
  gfx/device.cpp
  gfx/fade.cpp
  gfx/quads.cpp
  gfx/shaders.cpp
  show/finale.cpp
  show/frame.cpp
  show/intro.cpp
  show/loading.cpp
  show/sound_cues.cpp
  show/verses.cpp
  text/atlas_text.cpp
  text/glyph_atlas.cpp
  text/label.cpp
)
list(TRANSFORM SHOW_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
