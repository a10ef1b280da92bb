// The lead bytes of code page 932 (Japanese Shift JIS), as the system's ANSI
// code page reports them on Japanese Windows, for the path rules' tests.
// Several characters there have 0x5C as their second byte: 表 is 95 5C,
// ソ is 83 5C, 能 is 94 5C.
#pragma once

inline bool IsLeadByte932(unsigned char value) {
    return (value >= 0x81 && value <= 0x9F) || (value >= 0xE0 && value <= 0xFC);
}
