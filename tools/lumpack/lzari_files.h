// LZARI stream files for `lumpack compress` and `decompress`: a file coded
// into a stream and a stream decoded back, both through fixed buffers, so
// that memory stays the same whatever the files' sizes. Host only.
#pragma once

#include <stddef.h>

#include <string>

#include "file_io.h"
#include "lzari/lzari_encoder.h"

// Which file a failure is about.
enum class StreamFault { None, Input, Output };

// Codes all of in (at most 4 GiB - 1 bytes: callers check) into out.
// Returns StreamFault::None, or the file whose reading or writing failed,
// with *error saying why.
StreamFault CompressFile(const InputFile &in, OutputFile *out, LzariProgress progress,
                         void *progressContext, std::string *error,
                         LzariParse parse = LzariParse::Optimal);

// Decodes the stream in into out, checking it as `lumpack verify` checks an
// entry's stream, and more strictly, since a stream file has nothing after
// it: too short for its length field, a length beyond what its size can
// code, decoding that needs bytes past its end, and bytes left over after
// the coded data all fail, with *error saying which. The length is checked
// before anything is written; the rest only once decoding is done, so the
// caller discards out unless this returns StreamFault::None. A damaged
// stream is a fault of the input.
StreamFault DecompressFile(const InputFile &in, OutputFile *out, std::string *error);
