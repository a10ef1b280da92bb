# The launcher: a GUI program with no console, no C runtime start-up and no
# C++ runtime. It imports only DLLs that every Windows has.

include(cmake/download_url.cmake)
set(LUMV_DOWNLOAD_BASE_URL "https://www.vantorelle.example/" CACHE STRING
    "Base address of the player's download site; ends with '/', at most 202 bytes")
lumv_check_download_url("${LUMV_DOWNLOAD_BASE_URL}")

# The launcher's Win32 code as a library, so the in-process tests can call
# the very functions the launcher runs.
add_library(launcher_core STATIC
  src/common/ansi_path_win.cpp
  src/launcher/library_search_win.cpp
  src/launcher/launch_sequence_win.cpp
  src/launcher/launch_error_win.cpp
  src/payload/payload_file_win.cpp
  src/payload/extract_payload_win.cpp
  src/payload/background_decode_win.cpp
  src/tempfolder/run_temp_folder_win.cpp
  src/cleanup/clean_up_win.cpp
  src/splash/splash_screen_win.cpp)
target_include_directories(launcher_core PUBLIC src)
target_compile_options(launcher_core PRIVATE ${LUMV_WARNINGS} ${LUMV_LEAN_FLAGS})
target_link_libraries(launcher_core PUBLIC lumcore)
target_compile_definitions(launcher_core PRIVATE
  "LUMV_DOWNLOAD_BASE_URL=\"${LUMV_DOWNLOAD_BASE_URL}\"")

add_executable(launcher WIN32 src/launcher/startup_win.cpp src/resources/launcher.rc)
set_property(SOURCE src/resources/launcher.rc APPEND PROPERTY OBJECT_DEPENDS
  "${PROJECT_SOURCE_DIR}/src/resources/launcher.ico"
  "${PROJECT_SOURCE_DIR}/src/resources/launcher.manifest")
target_include_directories(launcher PRIVATE src/resources)
target_compile_options(launcher PRIVATE ${LUMV_WARNINGS} ${LUMV_LEAN_FLAGS})
if(LUMV_TARGET STREQUAL "win32")
  set(LUMV_ENTRY _LauncherStartup)
  # Players of the shipping launcher's era may not be ready for data
  # execution prevention, which the linker now switches on by default: the
  # 32-bit image asks for none, and is not large-address-aware either.
  set(LUMV_IMAGE_FLAGS -Wl,--disable-nxcompat -Wl,--disable-large-address-aware)
  # Three sections instead of five (cmake/launcher_i686.ld): 1 KiB less.
  list(APPEND LUMV_IMAGE_FLAGS "-Wl,-T,${PROJECT_SOURCE_DIR}/cmake/launcher_i686.ld")
  set_property(TARGET launcher APPEND PROPERTY LINK_DEPENDS
    "${PROJECT_SOURCE_DIR}/cmake/launcher_i686.ld")
else()
  set(LUMV_ENTRY LauncherStartup)
  set(LUMV_IMAGE_FLAGS)
endif()
target_link_options(launcher PRIVATE
  -nostdlib -nostartfiles "-Wl,--entry,${LUMV_ENTRY}" -Wl,--gc-sections
  -Wl,--subsystem,windows -Wl,--enable-auto-image-base -Wl,--no-insert-timestamp
  ${LUMV_IMAGE_FLAGS}
  $<$<CONFIG:Release,MinSizeRel>:-s>)
# libgcc is a static archive (stack probes and the like), not a DLL. No C
# runtime: the runtime library is loaded at run time, after the launcher
# could already report that it is missing, so a call into it fails the link.
target_link_libraries(launcher PRIVATE launcher_core lumcore
  kernel32 user32 gdi32 advapi32 gcc)
install(TARGETS launcher RUNTIME DESTINATION .)

if(LUMV_BUILD_TESTS)
  # The shipping launcher must stay within 32 KiB (the image it replaces
  # took 44 KiB).
  if(LUMV_TARGET STREQUAL "win32")
    set(LUMV_LAUNCHER_BUDGET 32768)
  else()
    set(LUMV_LAUNCHER_BUDGET "")
  endif()
  find_program(LUMV_OBJDUMP NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump objdump REQUIRED)
  add_test(NAME launcher_image
    COMMAND "${PROJECT_SOURCE_DIR}/tests/build/check_launcher_image.sh"
            "${LUMV_OBJDUMP}" $<TARGET_FILE:launcher> ${LUMV_LAUNCHER_BUDGET})
  set_tests_properties(launcher_image PROPERTIES LABELS build)
  find_program(LUMV_WINDRES NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-windres windres REQUIRED)
  add_test(NAME launcher_resources
    COMMAND "${PROJECT_SOURCE_DIR}/tests/build/check_launcher_resources.sh"
            "${LUMV_WINDRES}" $<TARGET_FILE:launcher>
            "${PROJECT_SOURCE_DIR}/tests/build/launcher_strings.txt")
  set_tests_properties(launcher_resources PROPERTIES LABELS build)
  # The README's lumpack examples, run as written against the installed
  # dist/ (the test command installs it before running this tree's tests).
  if(LUMV_TARGET STREQUAL "win32")
    add_test(NAME readme_examples
      COMMAND "${PROJECT_SOURCE_DIR}/tests/build/check_readme_examples.sh" "${PROJECT_SOURCE_DIR}")
    set_tests_properties(readme_examples PROPERTIES LABELS build)
  endif()
  # The build refuses a base address without its final '/' or too long.
  string(REPEAT "a" 201 lumv_longest_host)
  foreach(check "no_slash;https://x.test;TRUE" "too_long;${lumv_longest_host}//;TRUE"
                "longest;${lumv_longest_host}/;FALSE")
    list(GET check 0 name)
    list(GET check 1 url)
    list(GET check 2 refused)
    add_test(NAME download_url_${name}
      COMMAND ${CMAKE_COMMAND} -DURL=${url} -P "${PROJECT_SOURCE_DIR}/cmake/download_url.cmake")
    set_tests_properties(download_url_${name} PROPERTIES LABELS build WILL_FAIL ${refused})
  endforeach()
endif()
