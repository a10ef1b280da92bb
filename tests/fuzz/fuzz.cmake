# Fuzz targets for the LZARI codec and the presentation reader: libFuzzer
# binaries with LUMV_FUZZ (clang), otherwise replay programs that run the
# committed corpora as CTest tests.
#
# Fuzzing, from the source directory:
#   cmake --preset fuzz && cmake --build build/fuzz --target lzari_decode_fuzz (and the others)
#   mkdir -p build/fuzz/new
#   build/fuzz/lzari_decode_fuzz -max_total_time=600 build/fuzz/new tests/fuzz/corpus/lzari_decode
# and to fold what it found back in, keeping the corpus small:
#   build/fuzz/lzari_decode_fuzz -merge=1 tests/fuzz/corpus/lzari_decode build/fuzz/new
# (the same for lzari_roundtrip, whose corpus holds only inputs of up to 4 KB:
# larger ones added size but no coverage). payload_verify's seeds are small
# presentations (both groups, stored and compressed, signed PE32 and PE32+);
# keep its inputs small too, since verify decodes every stream, up to 1024
# times its stored size.
#
# payload_header, entry_path and entry_stream check the rules the launcher
# itself applies to a presentation's bytes (its header, entry names and
# streams) through the same portable functions. entry_stream's first input
# byte picks how reads and writes go; its seeds are lzari_decode's streams.
set(LUMV_FUZZ_TARGETS lzari_decode lzari_roundtrip payload_verify payload_header entry_path
    entry_stream)
set(LUMV_FUZZ_DIR ${PROJECT_SOURCE_DIR}/tests/fuzz)
# The decoder's output is checked against the plain classic decoder that the
# native tests keep.
set(LUMV_FUZZ_EXTRA_lzari_decode ${PROJECT_SOURCE_DIR}/tests/native/lzari_reference.cpp)
set(LUMV_FUZZ_EXTRA_lzari_roundtrip ${PROJECT_SOURCE_DIR}/tests/native/lzari_reference.cpp)
set(LUMV_FUZZ_EXTRA_payload_verify)
set(LUMV_FUZZ_EXTRA_payload_header)
set(LUMV_FUZZ_EXTRA_entry_path)
set(LUMV_FUZZ_EXTRA_entry_stream ${PROJECT_SOURCE_DIR}/tests/native/lzari_reference.cpp)

if(LUMV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUMV_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  # The code under test gets coverage feedback and the sanitizers; everything
  # linking it gets the sanitizer runtimes.
  set(LUMV_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
      -fno-omit-frame-pointer)
  foreach(lib lumcore lumpack_format lumpack_lib)
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${LUMV_FUZZ_SANITIZERS})
    target_link_options(${lib} INTERFACE -fsanitize=address,undefined)
  endforeach()
  foreach(name ${LUMV_FUZZ_TARGETS})
    add_executable(${name}_fuzz ${LUMV_FUZZ_DIR}/${name}_fuzz.cpp ${LUMV_FUZZ_EXTRA_${name}})
    target_compile_options(${name}_fuzz PRIVATE ${LUMV_WARNINGS} -fsanitize=fuzzer
                           ${LUMV_FUZZ_SANITIZERS})
    target_link_options(${name}_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
    target_include_directories(${name}_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/native)
    target_link_libraries(${name}_fuzz PRIVATE lumpack_lib)
  endforeach()
elseif(LUMV_BUILD_TESTS)
  foreach(name ${LUMV_FUZZ_TARGETS})
    add_executable(fuzz_replay_${name} ${LUMV_FUZZ_DIR}/${name}_fuzz.cpp
                   ${LUMV_FUZZ_DIR}/replay_main.cpp ${LUMV_FUZZ_EXTRA_${name}})
    target_compile_options(fuzz_replay_${name} PRIVATE ${LUMV_WARNINGS})
    target_include_directories(fuzz_replay_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/native)
    target_link_libraries(fuzz_replay_${name} PRIVATE lumpack_lib)
    add_test(NAME fuzz_replay_${name}
             COMMAND fuzz_replay_${name} ${LUMV_FUZZ_DIR}/corpus/${name})
    set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS native)
  endforeach()
endif()
