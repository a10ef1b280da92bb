# The player double: a lumv.dll that reports what it received and returns a
# result chosen by the test.
add_library(testplayer SHARED tools/testplayer/testplayer.cpp)
set_target_properties(testplayer PROPERTIES
  OUTPUT_NAME lumv PREFIX "" SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/testplayer")
target_include_directories(testplayer PRIVATE src)
target_compile_options(testplayer PRIVATE ${LUMV_WARNINGS})
target_link_options(testplayer PRIVATE -static -static-libgcc -static-libstdc++
  $<$<CONFIG:Release,MinSizeRel>:-s>)
install(TARGETS testplayer RUNTIME DESTINATION testplayer LIBRARY DESTINATION testplayer)
if(LUMV_TARGET STREQUAL "win32")
  # Export LumivanceMain undecorated, as the launcher looks it up.
  target_link_options(testplayer PRIVATE -Wl,--kill-at)
endif()
