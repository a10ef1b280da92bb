// The block reads and writes through which the tools compress and decode
// whole streams, and the largest length a stream can declare. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A stream starts with its decoded length, 4 bytes little-endian.
const uint32_t LzariLengthFieldSize = 4;

// The largest length that field can declare: longer inputs cannot be
// compressed, and no stream decodes to more.
const uint32_t LzariMaxStreamLength = 0xFFFFFFFFu;

// Where a stream's input comes from and its output goes.
struct LzariStreamIo {
    // Fills buffer with 1 to size input bytes and returns how many; 0 when
    // the input failed or ended (for a compression: before the announced
    // length).
    size_t (*read)(void *context, uint8_t *buffer, size_t size);
    // Takes the next size bytes of output; false when they could not be
    // written, which ends the work.
    bool (*write)(void *context, const uint8_t *data, size_t size);
    void *context;
};
