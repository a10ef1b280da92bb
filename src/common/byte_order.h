// Little-endian numbers in byte buffers, as every file format here stores
// them. Portable: no <windows.h>.
#pragma once

#include <stdint.h>

inline uint16_t ReadLittleEndian16(const uint8_t *bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

inline uint32_t ReadLittleEndian32(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteLittleEndian32(uint8_t *bytes, uint32_t value) {
    for (int i = 0; i < 4; i++) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}
