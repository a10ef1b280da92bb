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
    return FindPayloadContent(&header, static_cast<uint32_t>(headerOffset), payloadEnd,
                              &content->start, &content->size);
}
