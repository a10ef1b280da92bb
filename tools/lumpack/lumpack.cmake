# lumpack: the library that builds and reads presentations (every target: the
# Windows test programs build presentations with it too), the library around
# files and folders with the tool's commands, and the command-line tool. The
# libraries are what the tests call, the commands included; the tool only
# reads the command line and runs one.
add_library(lumpack_format STATIC
  tools/lumpack/display_text.cpp
  tools/lumpack/file_name_rules.cpp
  tools/lumpack/icon_file.cpp
  tools/lumpack/launch_checks.cpp
  tools/lumpack/pe_resources.cpp
  tools/lumpack/pe_sections.cpp
  tools/lumpack/player_library.cpp
  tools/lumpack/presentation_builder.cpp
  tools/lumpack/presentation_reader.cpp
  tools/lumpack/resource_tree.cpp
  tools/lumpack/utf16_text.cpp
  tools/lumpack/version_resource.cpp)
target_include_directories(lumpack_format PUBLIC src tools/lumpack)
target_compile_options(lumpack_format PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack_format PUBLIC lzari_encoder lumcore)

# The tool itself: on the host and as the x86_64 Windows program (the 32-bit
# tree builds the launcher only).
if(WIN32 AND NOT LUMV_TARGET STREQUAL "win64")
  return()
endif()

set(LUMPACK_LIB_SOURCES
  tools/lumpack/build_command.cpp
  tools/lumpack/build_manifest.cpp
  tools/lumpack/code_page_text.cpp
  tools/lumpack/command_messages.cpp
  tools/lumpack/extract_manifest.cpp
  tools/lumpack/file_io.cpp
  tools/lumpack/presentation_commands.cpp
  tools/lumpack/lzari_files.cpp
  tools/lumpack/presentation_hashes.cpp
  tools/lumpack/presentation_listing.cpp
  tools/lumpack/presentation_extract.cpp
  tools/lumpack/stream_commands.cpp)
set(LUMPACK_VERSION "0.9.0")

if(WIN32)
  # Windows: files through the wide W calls, SHA-256 through CNG (bcrypt),
  # code pages through the system's tables, one static program. CLI11 and
  # nlohmann-json are header-only; they come from a folder of their own, as
  # the host's include folder would bring glibc's headers along.
  set(lumpack_headers "${CMAKE_BINARY_DIR}/header-only")
  file(MAKE_DIRECTORY "${lumpack_headers}")
  foreach(library CLI nlohmann)
    if(NOT EXISTS "${lumpack_headers}/${library}")
      file(CREATE_LINK "/usr/include/${library}" "${lumpack_headers}/${library}" SYMBOLIC)
    endif()
  endforeach()
  add_library(lumpack_lib STATIC ${LUMPACK_LIB_SOURCES}
    tools/lumpack/code_page_text_win.cpp
    tools/lumpack/file_io_win.cpp
    tools/lumpack/sha256_win.cpp)
  target_include_directories(lumpack_lib SYSTEM PUBLIC "${lumpack_headers}")
  target_compile_options(lumpack_lib PRIVATE ${LUMV_WARNINGS})
  target_link_libraries(lumpack_lib PUBLIC lumpack_format bcrypt shell32)

  add_executable(lumpack tools/lumpack/main.cpp)
  target_compile_options(lumpack PRIVATE ${LUMV_WARNINGS})
  target_compile_definitions(lumpack PRIVATE LUMV_VERSION="${LUMPACK_VERSION}")
  target_link_libraries(lumpack PRIVATE lumpack_lib)
  target_link_options(lumpack PRIVATE -static $<$<CONFIG:Release,MinSizeRel>:-s>)
  install(TARGETS lumpack RUNTIME DESTINATION .)
  return()
endif()

# JSON listings and build manifests through nlohmann-json, SHA-256 through
# OpenSSL's libcrypto (sha256.h is the interface; Windows has its own), and
# names read in Windows code pages through the C library's iconv.
find_package(nlohmann_json 3 REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

add_library(lumpack_lib STATIC ${LUMPACK_LIB_SOURCES}
  tools/lumpack/code_page_text_iconv.cpp
  tools/lumpack/file_io_posix.cpp
  tools/lumpack/sha256_openssl.cpp)
target_compile_options(lumpack_lib PRIVATE ${LUMV_WARNINGS})
target_link_libraries(lumpack_lib PUBLIC lumpack_format PRIVATE nlohmann_json::nlohmann_json
  OpenSSL::Crypto)

# The command line is parsed with CLI11 (Debian: libcli11-dev).
find_package(CLI11 REQUIRED)
add_executable(lumpack tools/lumpack/main.cpp)
target_compile_options(lumpack PRIVATE ${LUMV_WARNINGS})
target_compile_definitions(lumpack PRIVATE LUMV_VERSION="${LUMPACK_VERSION}")
target_link_libraries(lumpack PRIVATE lumpack_lib CLI11::CLI11)
install(TARGETS lumpack RUNTIME DESTINATION .)
# The manual page and the bash completion, kept with the source.
install(FILES tools/lumpack/lumpack.1 tools/lumpack/lumpack.bash-completion DESTINATION .)
