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
  add_library(sampleplayer SHARED tools/sampleplayer/sampleplayer_win.cpp)
  set_target_properties(sampleplayer PROPERTIES
    OUTPUT_NAME lumv PREFIX "" SUFFIX ".dll"
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/sampleplayer")
  target_compile_options(sampleplayer PRIVATE ${LUMV_WARNINGS} -fno-exceptions -fno-rtti)
  target_link_libraries(sampleplayer PRIVATE sampleplayer_core gdi32 user32)
  target_link_options(sampleplayer PRIVATE -static -static-libgcc -static-libstdc++
    $<$<CONFIG:Release,MinSizeRel>:-s>)
  install(TARGETS sampleplayer RUNTIME DESTINATION sampleplayer LIBRARY DESTINATION sampleplayer)
  if(LUMV_TARGET STREQUAL "win32")
    # Export LumivanceMain undecorated, as the launcher looks it up.
    target_link_options(sampleplayer PRIVATE -Wl,--kill-at)
  endif()
endif()
