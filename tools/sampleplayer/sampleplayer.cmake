# The sample player: a lumv.dll that shows the content as slides. Its
# portable half (the slide deck and where the content lies) is also built on
# the host for the native tests.
add_library(sampleplayer_core STATIC
  tools/sampleplayer/slide_deck.cpp
  tools/sampleplayer/presentation_content.cpp)
target_include_directories(sampleplayer_core PUBLIC tools/sampleplayer src)
target_compile_options(sampleplayer_core PRIVATE ${LUMV_WARNINGS})
target_link_libraries(sampleplayer_core PUBLIC lumcore)

if(WIN32)
  lumv_add_player_library(sampleplayer tools/sampleplayer/sampleplayer_win.cpp)
  target_compile_options(sampleplayer PRIVATE -fno-exceptions -fno-rtti)
  target_link_libraries(sampleplayer PRIVATE sampleplayer_core gdi32 user32)
endif()
