// Describing a presentation for `lumpack list`.
#include "presentation_listing.h"

#include <stdio.h>

#include "display_text.h"

namespace {

std::string Number(uint64_t value) {
    return std::to_string(value);
}

std::string GroupName(const EntryInfo &entry) {
    return entry.tempGroup ? "temp" : "exe";
}

// Bytes the entry takes in the file, when they lie inside the payload.
std::string StoredText(const EntryInfo &entry) {
    return entry.spanInside ? Number(entry.spanSize) : "?";
}

bool AnyDamage(const Presentation &p) {
    for (const EntryInfo &entry : p.entries) {
        if (!entry.terminated || !entry.spanInside || !entry.decodedSizeKnown) {
            return true;
        }
    }
    return false;
}

std::string RatioText(const EntryInfo &entry) {
    if (entry.stored || !entry.spanInside || !entry.decodedSizeKnown || entry.decodedSize == 0) {
        return "-";
    }
    char text[32];
    (void)snprintf(text, sizeof text, "%.1f%%", 100.0 * entry.spanSize / entry.decodedSize);
    return text;
}

std::string KindText(const EntryInfo &entry) {
    return entry.stored ? "stored" : "compressed ." + PrintableText(entry.packedExtension);
}

std::string Pad(const std::string &text, size_t width, bool right) {
    if (text.size() >= width) {
        return text;
    }
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

std::string EntryRow(const EntryInfo &entry) {
    return "  " + Pad(Number(entry.slot + 1), 2, true) + "  " + Pad(GroupName(entry), 5, false) +
           " " + Pad(PrintableText(EntryFileName(entry)), 40, false) + " " +
           Pad(KindText(entry), 16, false) + " " + Pad(StoredText(entry), 11, true) + " " +
           Pad(entry.decodedSizeKnown ? Number(entry.decodedSize) : "?", 11, true) + " " +
           Pad(RatioText(entry), 7, true) + "\n";
}

std::string ContentText(const Presentation &p) {
    std::string offset = std::to_string(p.header.contentOffset);
    return p.contentInside ? "at " + offset + ", " + Number(p.contentSize) + " bytes"
                           : "offset " + offset + ", outside the payload";
}

std::string JsonString(const std::string &text, bool bytesAsLatin1) {
    static const char Hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && bytesAsLatin1)) {
            out += "\\u00";
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonName(const std::string &text) {
    return JsonString(text, true);
}

std::string JsonRatio(const EntryInfo &entry) {
    if (RatioText(entry) == "-") {
        return "null";
    }
    char text[32];
    (void)snprintf(text, sizeof text, "%.4f",
                   static_cast<double>(entry.spanSize) / entry.decodedSize);
    return text;
}

std::string JsonEntry(const EntryInfo &entry) {
    return std::string("    {") + "\"number\": " + Number(entry.slot + 1) +
           ", \"group\": " + JsonString(GroupName(entry), false) +
           ", \"name\": " + JsonName(entry.name) +
           ", \"extension\": " + JsonName(entry.outputExtension) +
           ", \"file\": " + JsonName(EntryFileName(entry)) +
           ", \"stored\": " + (entry.stored ? "true" : "false") +
           ", \"packedExtension\": " + JsonName(entry.packedExtension) +
           ", \"terminated\": " + (entry.terminated ? "true" : "false") +
           ", \"dataOffset\": " + std::to_string(entry.dataOffset) +
           ", \"storedSize\": " + std::to_string(entry.storedSize) +
           ", \"spanInside\": " + (entry.spanInside ? "true" : "false") +
           ", \"bytes\": " + (entry.spanInside ? Number(entry.spanSize) : "null") +
           ", \"decodedSize\": " + (entry.decodedSizeKnown ? Number(entry.decodedSize) : "null") +
           ", \"ratio\": " + JsonRatio(entry) + "}";
}

}  // namespace

std::string ListingText(const std::string &path, const Presentation &p) {
    const PayloadHeader &h = p.header;
    std::string text = path + ": " + Number(p.size) + " bytes, ";
    if (!p.isSigned) {
        text += "not signed\n";
    } else if (p.payloadEnd == p.tableStart) {
        text += "signed (certificate table from " + Number(p.tableStart) + ")\n";
    } else {
        text += "signed (certificate table from " + Number(p.tableStart) + ", padded with " +
                Number(p.tableStart - p.payloadEnd) + " zero bytes before it)\n";
    }
    text += "  header:    at " + Number(p.headerOffset) + ", trailer at " +
            Number(p.payloadEnd - PayloadTrailerSize) + "\n";
    text += "  content:   " + ContentText(p) + "\n";
    text += "  reserved:  " + std::to_string(h.reserved[0]) + ", " + std::to_string(h.reserved[1]) +
            "\n";
    text += "  entries:   " + std::to_string(h.entryCount) + " (" +
            std::to_string(ExeFolderEntryCount(&h)) + " beside the executable, " +
            std::to_string(h.tempEntryCount) + " in the temporary folder)\n";
    if (p.entries.empty()) {
        return text;
    }
    text += "\n   #  group " + Pad("file", 40, false) + " " + Pad("kind", 16, false) + " " +
            Pad("stored", 11, true) + " " + Pad("decoded", 11, true) + " " + Pad("ratio", 7, true) +
            "\n";
    for (const EntryInfo &entry : p.entries) {
        text += EntryRow(entry);
    }
    if (AnyDamage(p)) {
        text += "\nSome entries are damaged (\"?\"); lumpack verify says why.\n";
    }
    return text;
}

std::string ListingJson(const std::string &path, const Presentation &p) {
    const PayloadHeader &h = p.header;
    std::string json = "{\n";
    json += "  \"file\": " + JsonString(path, false) + ",\n";
    json += "  \"size\": " + Number(p.size) + ",\n";
    json += std::string("  \"signed\": ") + (p.isSigned ? "true" : "false") + ",\n";
    json += "  \"payloadEnd\": " + Number(p.payloadEnd) + ",\n";
    json += "  \"headerOffset\": " + Number(p.headerOffset) + ",\n";
    json += "  \"contentOffset\": " + std::to_string(h.contentOffset) + ",\n";
    json += "  \"contentSize\": " + (p.contentInside ? Number(p.contentSize) : "null") + ",\n";
    json += "  \"reserved\": [" + std::to_string(h.reserved[0]) + ", " +
            std::to_string(h.reserved[1]) + "],\n";
    json += "  \"entryCount\": " + std::to_string(h.entryCount) + ",\n";
    json += "  \"tempEntryCount\": " + std::to_string(h.tempEntryCount) + ",\n";
    json += "  \"entries\": [";
    for (size_t i = 0; i < p.entries.size(); i++) {
        json += std::string(i == 0 ? "\n" : ",\n") + JsonEntry(p.entries[i]);
    }
    json += p.entries.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return json;
}
