# lumpack: the library that does the work (tested directly) and the
# command-line tool around it. Host only.
add_library(lumpack_lib STATIC
  tools/lumpack/lzari_encoder.cpp
  tools/lumpack/file_io.cpp)
target_include_directories(lumpack_lib PUBLIC src tools/lumpack)
target_compile_options(lumpack_lib PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack_lib PUBLIC lumcore)

add_executable(lumpack tools/lumpack/main.cpp)
target_compile_options(lumpack PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack PRIVATE lumpack_lib)
install(TARGETS lumpack RUNTIME DESTINATION .)
