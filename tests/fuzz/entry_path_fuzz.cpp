// Fuzz target for composing an entry's path: any folder and entry fields,
// any buffer size, in a single-byte code page and under code page 932's
// lead bytes. A path composed must be the folder and the entry's file name
// (name "." output extension) and nothing else, inside its buffer, with a
// name that stays in the folder and names no device; a name that is all
// that must be composed when it fits. Replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "entry_name_oracle.h"
#include "payload/payload_format.h"

namespace {

void Fail(const char *what) {
    fprintf(stderr, "entry_path_fuzz: %s\n", what);
    abort();
}

bool IsLeadByte932(unsigned char value) {
    return fuzz_oracle::IsLeadByte932(value);
}

// The field's text up to its terminator, or the whole field.
std::string FieldText(const char *field, size_t size) {
    return std::string(field, strnlen(field, size));
}

// The folder's last character is a '\' of its own (not a 932 trail byte).
bool EndsWithSeparator(const std::string &folder, bool doubleByte) {
    bool separator = false;
    for (size_t i = 0; i < folder.size(); i++) {
        unsigned char c = static_cast<unsigned char>(folder[i]);
        separator = c == '\\';
        if (doubleByte && fuzz_oracle::IsLeadByte932(c) && i + 1 < folder.size()) {
            i++;
        }
    }
    return separator;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Layout: mode, buffer size, the name, both extensions (their whole
    // fields), then the folder (up to a terminator or the end).
    const size_t fields = PayloadNameSize + PayloadPackedExtensionSize + PayloadOutputExtensionSize;
    if (size < 2 + fields) {
        return 0;
    }
    bool doubleByte = (data[0] & 1) != 0;
    size_t destSize = 1 + data[1] + ((data[0] >> 1) & 1) * 256;  // 1 to 512 bytes
    PayloadEntry entry = {};
    memcpy(entry.name, data + 2, PayloadNameSize);
    memcpy(entry.packedExtension, data + 2 + PayloadNameSize, PayloadPackedExtensionSize);
    memcpy(entry.outputExtension, data + 2 + PayloadNameSize + PayloadPackedExtensionSize,
           PayloadOutputExtensionSize);
    std::string folder(reinterpret_cast<const char *>(data) + 2 + fields, size - 2 - fields);
    folder = folder.substr(0, folder.find('\0'));

    // Exactly destSize bytes on the heap, so AddressSanitizer sees any
    // write past them; filled with a marker to see what was written.
    std::unique_ptr<char[]> dest(new char[destSize]);
    memset(dest.get(), 0x7F, destSize);
    bool composed = ComposeEntryPath(dest.get(), destSize, folder.c_str(), &entry,
                                     doubleByte ? IsLeadByte932 : nullptr);

    bool terminated =
        strnlen(entry.name, PayloadNameSize) < PayloadNameSize &&
        strnlen(entry.packedExtension, PayloadPackedExtensionSize) < PayloadPackedExtensionSize &&
        strnlen(entry.outputExtension, PayloadOutputExtensionSize) < PayloadOutputExtensionSize;
    std::string fileName = FieldText(entry.name, PayloadNameSize) + "." +
                           FieldText(entry.outputExtension, PayloadOutputExtensionSize);
    std::string separator = folder.empty() || EndsWithSeparator(folder, doubleByte) ? "" : "\\";
    std::string expected = folder + separator + fileName;

    if (composed) {
        if (!terminated) {
            Fail("composed from a field without its terminator");
        }
        if (!fuzz_oracle::SafeFileName(fileName)) {
            Fail("composed a name that leaves the folder or names a device");
        }
        if (strnlen(dest.get(), destSize) == destSize) {
            Fail("the composed path is not terminated inside its buffer");
        }
        if (std::string(dest.get()) != expected) {
            Fail("the composed path is not the folder and the entry's file name");
        }
    } else if (terminated && fuzz_oracle::SafeFileName(fileName) &&
               expected.size() + 1 <= destSize &&
               fileName.find_first_of("\\/") == std::string::npos) {
        // A plain name (no subfolder) that is safe in every view and fits.
        Fail("a safe name that fits was refused");
    }
    return 0;
}
