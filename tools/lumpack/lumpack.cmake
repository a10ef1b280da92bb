# lumpack: the library that builds and reads presentations (every target: the
# Windows test programs build presentations with it too), the host library
# around files and folders, and the command-line tool. The libraries are what
# the tests call; the tool only parses arguments and prints.
add_library(lumpack_format STATIC
  tools/lumpack/display_text.cpp
  tools/lumpack/file_name_rules.cpp
  tools/lumpack/presentation_builder.cpp
  tools/lumpack/presentation_reader.cpp)
target_include_directories(lumpack_format PUBLIC src tools/lumpack)
target_compile_options(lumpack_format PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack_format PUBLIC lzari_encoder lumcore)

if(WIN32)
  return()
endif()

# JSON listings and build manifests through nlohmann-json, SHA-256 through OpenSSL's libcrypto
# (sha256.h is the interface, should another build need its own), and names
# read in Windows code pages through the C library's iconv.
find_package(nlohmann_json 3 REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

add_library(lumpack_lib STATIC
  tools/lumpack/build_manifest.cpp
  tools/lumpack/code_page_text.cpp
  tools/lumpack/code_page_text_iconv.cpp
  tools/lumpack/file_io.cpp
  tools/lumpack/lzari_files.cpp
  tools/lumpack/presentation_hashes.cpp
  tools/lumpack/presentation_listing.cpp
  tools/lumpack/presentation_extract.cpp
  tools/lumpack/sha256_openssl.cpp)
target_compile_options(lumpack_lib PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack_lib PUBLIC lumpack_format PRIVATE nlohmann_json::nlohmann_json
  OpenSSL::Crypto)

# The command line is parsed with CLI11 (Debian: libcli11-dev).
find_package(CLI11 REQUIRED)
set(LUMPACK_VERSION "0.9.0")
add_executable(lumpack tools/lumpack/main.cpp)
target_compile_options(lumpack PRIVATE ${LUMV_WARNINGS})
target_compile_definitions(lumpack PRIVATE LUMV_VERSION="${LUMPACK_VERSION}")
target_link_libraries(lumpack PRIVATE lumpack_lib CLI11::CLI11)
install(TARGETS lumpack RUNTIME DESTINATION .)
# The manual page and the bash completion, kept with the source.
install(FILES tools/lumpack/lumpack.1 tools/lumpack/lumpack.bash-completion DESTINATION .)
