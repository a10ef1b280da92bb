// Hashing what a presentation unpacks to.
#include "presentation_hashes.h"

#include <memory>

#include "sha256.h"

namespace {

struct HashRun {
    Sha256 *hash;
    HashProgress progress;
    void *progressContext;
    uint64_t done;
    uint64_t total;
    unsigned shownPercent;  // 101: nothing shown yet
};

void Tell(HashRun *run) {
    if (run->progress == nullptr) {
        return;
    }
    uint64_t done = run->done < run->total ? run->done : run->total;
    unsigned percent = run->total == 0 ? 100 : static_cast<unsigned>(done * 100 / run->total);
    if (percent != run->shownPercent && done < run->total) {
        run->shownPercent = percent;
        run->progress(run->progressContext, static_cast<size_t>(done),
                      static_cast<size_t>(run->total));
    }
}

bool HashBytes(void *context, const uint8_t *bytes, size_t size, std::string *error) {
    HashRun *run = static_cast<HashRun *>(context);
    if (!run->hash->Update(bytes, size, error)) {
        return false;
    }
    run->done += size;
    Tell(run);
    return true;
}

// Hashes one item through copy; false only when no hash can be made.
template <typename Copy>
bool HashItem(HashRun *run, Copy copy, ItemHash *out, std::string *error) {
    std::unique_ptr<Sha256> hash = NewSha256(error);
    if (hash == nullptr) {
        return false;
    }
    run->hash = hash.get();
    std::string why;
    uint8_t digest[Sha256Size];
    if (copy(&why) && hash->Finish(digest, &why)) {
        out->known = true;
        out->hex = Sha256Hex(digest);
    } else {
        out->error = why;
    }
    run->hash = nullptr;
    return true;
}

}  // namespace

bool HashPresentation(const PayloadByteReader *reader, const Presentation &p,
                      PresentationHashes *out, std::string *error, HashProgress progress,
                      void *progressContext) {
    HashRun run = {nullptr, progress, progressContext, 0, 0, 101};
    for (const EntryInfo &entry : p.entries) {
        run.total += entry.decodedSizeKnown ? entry.decodedSize : 0;
    }
    run.total += p.contentInside ? p.contentSize : 0;
    out->entries.assign(p.entries.size(), ItemHash());
    out->content = ItemHash();
    for (size_t i = 0; i < p.entries.size(); i++) {
        auto copy = [&](std::string *why) {
            return CopyEntryData(reader, p, i, HashBytes, &run, why);
        };
        if (!HashItem(&run, copy, &out->entries[i], error)) {
            return false;
        }
    }
    if (p.contentInside) {
        auto copy = [&](std::string *why) { return CopyContent(reader, p, HashBytes, &run, why); };
        if (!HashItem(&run, copy, &out->content, error)) {
            return false;
        }
    } else {
        out->content.error = "the content lies outside the payload";
    }
    if (progress != nullptr) {
        progress(progressContext, static_cast<size_t>(run.total), static_cast<size_t>(run.total));
    }
    return true;
}
