// What the presentation tests build on: minimal PE images whose security
// directory can be set, signing laid out as Authenticode tools lay it out,
// and short ways to build presentations.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "presentation_builder.h"

// A PE32 (or PE32+) image of size bytes: DOS header, "PE\0\0", COFF header
// and an optional header with all 16 data directories, the rest zeros.
std::vector<uint8_t> MakePeImage(bool pe32Plus, size_t size = 512);

// A player library for the i386 (or x86_64) launcher: a DLL whose export
// table names exportName alone (none when empty), with sample bytes after
// it up to size.
std::vector<uint8_t> MakePlayerLibrary(bool pe32Plus,
                                       const std::string &exportName = "LumivanceMain",
                                       size_t size = 1024);

void SetSecurityDirectory(std::vector<uint8_t> *image, bool pe32Plus, uint32_t offset,
                          uint32_t size);

// Pads the file with zeros to a multiple of 8, appends a certificate table
// of tableSize bytes (a WIN_CERTIFICATE header, then filler) and points the
// security directory at it.
void AppendCertificateTable(std::vector<uint8_t> *file, bool pe32Plus, uint32_t tableSize);

// Bytes that compress a little: text-like runs with some noise.
std::vector<uint8_t> SampleBytes(size_t size, uint32_t seed);

// Bytes that do not compress at all.
std::vector<uint8_t> NoiseBytes(size_t size, uint32_t seed);

BuildEntry MakeEntry(const std::string &name, const std::string &extension,
                     std::vector<uint8_t> data, bool compressed,
                     EntryGroup group = EntryGroup::ExeFolder);

// Builds and fails the current test when the builder refuses.
std::vector<uint8_t> BuildOrFail(const BuildRequest &request);

// The builder's refusal for the request, or "" when it builds.
std::string BuildError(const BuildRequest &request);

uint32_t ReadWord(const std::vector<uint8_t> &bytes, size_t at);
void WriteWord(std::vector<uint8_t> *bytes, size_t at, uint32_t value);

// Icon files for the resource tests: a bitmap image (BITMAPINFOHEADER with
// the height doubled for the mask, pixels filled with fill, the mask), a
// PNG's signature and IHDR (RGBA, 8 bits) with filler for its data, and an
// .ico of such images.
std::vector<uint8_t> MakeDib(uint32_t size, uint16_t bits, uint8_t fill);
std::vector<uint8_t> MakePng(uint32_t size);

struct IcoImage {
    uint8_t width;      // as the directory gives it
    uint16_t bitCount;  // 0: the directory leaves planes and bit count to the image
    std::vector<uint8_t> data;
};

std::vector<uint8_t> MakeIco(const std::vector<IcoImage> &images);

// 16x16 8-bit and 32x32 32-bit bitmaps and a 256x256 PNG.
std::vector<IcoImage> SampleIcoImages();
