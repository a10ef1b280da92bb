# A player library: lumv.dll, built into and installed to a folder named as
# the target, with the C++ runtime linked in, and on win32 LumivanceMain
# exported undecorated, as the launcher looks it up.
function(lumv_add_player_library target)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME lumv PREFIX "" SUFFIX ".dll"
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/${target}")
  target_compile_options(${target} PRIVATE ${LUMV_WARNINGS})
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
    $<$<CONFIG:Release,MinSizeRel>:-s>)
  install(TARGETS ${target} RUNTIME DESTINATION ${target} LIBRARY DESTINATION ${target})
  if(LUMV_TARGET STREQUAL "win32")
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endif()
endfunction()
