// Finding the presentation content in the executable's payload.
#include "presentation_content.h"

bool FindPresentationContent(const PayloadByteReader *reader, uint32_t fileSize,
                             ContentSpan *content) {
    content->start = 0;
    content->size = 0;
    uint32_t payloadEnd = FindPayloadEnd(reader, fileSize);
    PayloadHeader header;
    int32_t headerOffset = 0;
    if (!ReadPayloadHeaderFrom(reader, payloadEnd, &header, &headerOffset) ||
        !HasPayloadMagic(&header) || !PayloadCountsValid(&header)) {
        return false;
    }
    uint32_t trailerStart = payloadEnd - PayloadTrailerSize;
    if (header.contentOffset < 0 || static_cast<uint32_t>(header.contentOffset) > trailerStart) {
        return false;
    }
    uint32_t start = static_cast<uint32_t>(header.contentOffset);
    uint32_t end = trailerStart;
    uint32_t headerStart = static_cast<uint32_t>(headerOffset);
    if (headerStart >= start && headerStart < end) {
        end = headerStart;
    }
    for (int32_t i = 0; i < header.entryCount; i++) {
        int32_t data = header.entries[i].dataOffset;
        if (data >= 0 && static_cast<uint32_t>(data) >= start &&
            static_cast<uint32_t>(data) < end) {
            end = static_cast<uint32_t>(data);
        }
    }
    content->start = start;
    content->size = end - start;
    return true;
}
