// The block reads and writes through which the tools compress and decode
// whole streams. Portable.
#pragma once

#include <stddef.h>
#include <stdint.h>

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
