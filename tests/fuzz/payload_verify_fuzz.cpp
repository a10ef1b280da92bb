// Fuzz target for reading presentations: any byte string is a file. Verify
// must not crash and must say why it fails; whatever opens must list; and
// whatever verifies must extract, every entry to its declared size.
// Replayed by CTest on host.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "launch_checks.h"
#include "presentation_listing.h"
#include "presentation_reader.h"

namespace {

void Fail(const char *what) {
    fprintf(stderr, "payload_verify_fuzz: %s\n", what);
    abort();
}

void CheckFindings(bool verified, const std::vector<Finding> &findings) {
    bool anyFault = false;
    for (const Finding &finding : findings) {
        if (finding.message.empty()) {
            Fail("a finding without a message");
        }
        anyFault = anyFault || finding.severity == Severity::Fault;
    }
    if (verified == anyFault) {
        Fail("the verdict disagrees with the faults found");
    }
}

void CheckExtraction(const PayloadByteReader *reader, const Presentation &presentation) {
    std::vector<uint8_t> data;
    std::string error;
    for (size_t i = 0; i < presentation.entries.size(); i++) {
        if (!ReadEntryData(reader, presentation, i, &data, &error)) {
            Fail("an entry of a verified file does not read");
        }
        if (!presentation.entries[i].decodedSizeKnown ||
            data.size() != presentation.entries[i].decodedSize) {
            Fail("an entry read to another size than listed");
        }
    }
    if (!ReadContent(reader, presentation, &data, &error) ||
        data.size() != presentation.contentSize) {
        Fail("the content read to another size than listed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<Finding> findings;
    bool verified = VerifyPresentation(data, size, &findings);
    CheckFindings(verified, findings);

    Presentation presentation;
    std::string error;
    if (!OpenPresentation(data, size, &presentation, &error)) {
        if (verified || error.empty()) {
            Fail("a file that does not open was verified, or no reason was given");
        }
        return 0;
    }
    if (ListingText("fuzz", presentation).empty() || ListingJson("fuzz", presentation).empty()) {
        Fail("an open file lists as nothing");
    }
    if (verified) {
        MemoryByteReader file = MakeMemoryByteReader(data, size);
        CheckExtraction(&file.reader, presentation);
        std::vector<Finding> launch;
        if (CheckLaunch(&file.reader, size, &launch) != launch.empty()) {
            Fail("the launch check's answer and its findings disagree");
        }
    }
    return 0;
}
