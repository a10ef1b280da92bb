// SHA-256 over bytes handed in a piece at a time. The interface is portable;
// each build supplies one implementation (sha256_openssl.cpp on the host,
// sha256_win.cpp on Windows).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

enum { Sha256Size = 32 };

class Sha256 {
public:
    virtual ~Sha256() = default;
    // False, with *error saying why, when the implementation fails (it
    // should not); the digest is then of no use.
    virtual bool Update(const uint8_t *bytes, size_t size, std::string *error) = 0;
    // The digest of everything updated; the object is done with afterwards.
    virtual bool Finish(uint8_t digest[Sha256Size], std::string *error) = 0;
};

// A fresh hash, or null when none can be made (*error says why).
std::unique_ptr<Sha256> NewSha256(std::string *error);

// The digest as 64 lowercase hex digits.
inline std::string Sha256Hex(const uint8_t digest[Sha256Size]) {
    static const char Hex[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < Sha256Size; i++) {
        out += Hex[digest[i] >> 4];
        out += Hex[digest[i] & 15];
    }
    return out;
}
