// `lumpack build`: OUT never one of the inputs, every input's size checked
// before any is read, the entries named and read, the presentation written.
#include "build_command.h"

#include <stdio.h>

#include <algorithm>

#include <string>
#include <vector>

#include "build_manifest.h"
#include "common/byte_order.h"
#include "display_text.h"
#include "file_io.h"
#include "file_name_rules.h"
#include "launch_checks.h"
#include "lzari/lzari_encoder.h"
#include "lzari/lzari_stream_io.h"
#include "lzari_files.h"
#include "pe_resources.h"
#include "player_library.h"
#include "presentation_builder.h"
#include "presentation_reader.h"

namespace {

// "docs/readme.txt" gives "readme" and "txt"; the extension follows the last
// dot after the last separator, and is empty without one.
void SplitFileName(const std::string &fileName, std::string *name, std::string *extension) {
    size_t separator = fileName.find_last_of("\\/");
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) {
        *name = fileName;
        extension->clear();
        return;
    }
    *name = fileName.substr(0, dot);
    *extension = fileName.substr(dot + 1);
}

// The last part of path: after its last separator (on Windows either kind)
// and after a drive ("C:show.lvc").
std::string BaseName(const std::string &path) {
    size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1])) {
        start--;
    }
    size_t root = PathRootSize(path);
    return path.substr(start > root ? start : root);
}

// How messages name an entry's file: the path, after the manifest's place
// for it when it comes from one ("show.json: entries[2].file: x.dat").
std::string SourceName(const BuildArguments &build, const EntryArgument &entry) {
    return entry.where.empty() ? entry.source
                               : build.manifest + ": " + entry.where + ".file: " + entry.source;
}

bool ReadInput(const std::string &path, std::vector<uint8_t> *data,
               const std::string &name = std::string()) {
    std::string error;
    if (!ReadWholeFile(path, data, &error)) {
        Fail(name.empty() ? path : name, error);
        return false;
    }
    return true;
}

// Every file the presentation is built from, the launcher first.
std::vector<std::string> InputsOf(const BuildArguments &build) {
    std::vector<std::string> inputs = {build.launcher};
    if (!build.content.empty()) {
        inputs.push_back(build.content);
    }
    for (const EntryArgument &entry : build.entries) {
        inputs.push_back(entry.source);
    }
    if (!build.icon.empty()) {
        inputs.push_back(build.icon);
    }
    if (!build.manifest.empty()) {
        inputs.push_back(build.manifest);
    }
    return inputs;
}

// OUT must never replace what it is built from.
bool OutputIsAnInput(const BuildArguments &build) {
    for (const std::string &input : InputsOf(build)) {
        if (SameFile(build.out, input)) {
            Fail(build.out, "is also an input (" + input + "); choose another output file");
            return true;
        }
    }
    return false;
}

// The size of input, or false (with the message printed) when it cannot be
// opened or holds more than limit bytes.
bool InputSize(const std::string &path, uint64_t limit, const char *what, uint64_t *size,
               const std::string &name = std::string()) {
    InputFile file;
    std::string error;
    if (!OpenInputFile(path, &file, &error)) {
        Fail(name.empty() ? path : name, error);
        return false;
    }
    CloseInputFile(&file);
    *size = file.size;
    if (file.size > limit) {
        Fail(name.empty() ? path : name, "too large: " + std::to_string(file.size) +
                                             " bytes, at most " + std::to_string(limit) + " " +
                                             what);
        return false;
    }
    return true;
}

// Opens every input and checks the sizes against the format's limits before
// anything is read: the presentation's size bound holds even if every
// compressed entry shrank to its 4-byte length field.
bool InputSizesFit(const BuildArguments &build) {
    const char *fits = "fit in a presentation";
    uint64_t launcherSize = 0;
    uint64_t contentSize = 0;
    if (!InputSize(build.launcher, MaxPresentationSize, fits, &launcherSize) ||
        (!build.content.empty() &&
         !InputSize(build.content, MaxPresentationSize, fits, &contentSize))) {
        return false;
    }
    uint64_t smallest = SmallestPresentationSize(launcherSize, contentSize);
    for (const EntryArgument &entry : build.entries) {
        uint64_t limit = entry.compressed ? LzariMaxStreamLength : MaxPresentationSize;
        uint64_t size = 0;
        if (!InputSize(entry.source, limit, entry.compressed ? "can be compressed" : fits, &size,
                       SourceName(build, entry))) {
            return false;
        }
        smallest += SmallestEntrySize(entry.compressed, size);
    }
    if (smallest > MaxPresentationSize) {
        Fail(build.out, "would be at least " + std::to_string(smallest) +
                            " bytes; a presentation's offsets are signed 32-bit numbers, so at "
                            "most " +
                            std::to_string(MaxPresentationSize) + " bytes are possible");
        return false;
    }
    return true;
}

bool LoadLauncher(const std::string &path, std::vector<uint8_t> *image) {
    if (!ReadInput(path, image)) {
        return false;
    }
    std::string problem = LauncherImageProblem(*image);
    if (!problem.empty()) {
        Fail(path, "not usable as the launcher: it " + problem);
        return false;
    }
    return true;
}

// An icon file is a few hundred KiB at most; anything far larger is none.
const uint64_t MaxIconFileSize = 16 << 20;

// The show's icon and version texts put into the launcher image.
bool ChangeResources(const BuildArguments &build, std::vector<uint8_t> *image) {
    if (build.icon.empty() && build.versionInfo.empty()) {
        return true;
    }
    ResourceChanges changes;
    uint64_t size = 0;
    if (!build.icon.empty() &&
        (!InputSize(build.icon, MaxIconFileSize, "for an icon file", &size) ||
         !ReadInput(build.icon, &changes.iconFile))) {
        return false;
    }
    // In key order, so that flags and a manifest give the same bytes.
    changes.versionStrings = build.versionInfo;
    std::sort(changes.versionStrings.begin(), changes.versionStrings.end(),
              [](const VersionString &a, const VersionString &b) { return a.key < b.key; });
    std::vector<uint8_t> changed;
    std::string error = RewriteImageResources(*image, changes, &changed);
    const std::string iconFile = "icon file: ";
    if (error.compare(0, iconFile.size(), iconFile) == 0) {
        Fail(build.icon, error.substr(iconFile.size()));
        return false;
    }
    if (!error.empty()) {
        Fail(build.launcher, "cannot take the show's icon and version: " + error);
        return false;
    }
    *image = std::move(changed);
    return true;
}

// The size of a file read later a piece at a time (InputSizesFit checked
// it against the format's limits).
bool SourceSize(const std::string &path, const std::string &name, uint64_t *size) {
    return InputSize(path, UINT64_MAX, "", size, name);
}

// The launcher image (with the show's resources) and the player library
// are read whole: the checks look into them. Every other input is only
// sized here and streamed into the presentation when it is written.
bool LoadRequest(const BuildArguments &build, BuildRequest *request) {
    if (!LoadLauncher(build.launcher, &request->launcherImage) ||
        !ChangeResources(build, &request->launcherImage)) {
        return false;
    }
    if (!build.content.empty()) {
        request->contentPath = build.content;
        if (!SourceSize(build.content, build.content, &request->contentSize)) {
            return false;
        }
    }
    request->parse = build.fast ? LzariParse::Greedy : LzariParse::Optimal;
    request->reserved[0] = build.reserved[0];
    request->reserved[1] = build.reserved[1];
    for (const EntryArgument &argument : build.entries) {
        BuildEntry entry;
        SplitFileName(argument.as.empty() ? BaseName(argument.source) : argument.as, &entry.name,
                      &entry.outputExtension);
        entry.compressed = argument.compressed;
        entry.keepStream = argument.keepStream;
        entry.packedExtension = argument.packed;
        entry.group = argument.temp ? EntryGroup::TempFolder : EntryGroup::ExeFolder;
        bool player = FileNameKey(BuildEntryFileName(entry)) == FileNameKey(PlayerLibraryName);
        if (player ? !ReadInput(argument.source, &entry.data, SourceName(build, argument))
                   : !SourceSize(argument.source, SourceName(build, argument), &entry.sourceSize)) {
            return false;
        }
        if (!player) {
            entry.sourcePath = argument.source;
        }
        request->entries.push_back(std::move(entry));
        if (!argument.where.empty()) {
            request->entryLabels.push_back(argument.where);
            request->entryLabelSource = build.manifest;
        }
    }
    return true;
}

// Writing the presentation a piece at a time: the image and a header to be
// filled in, the content and every entry streamed from its file (a
// compressed one coded on the way), padding and trailer, then the header.
// Memory stays a few MB whatever the sizes.
// An input that is no longer what it was when the build sized it.
const char *const ChangedWhileBuilt = "changed while the presentation was built";

class StreamedWriter {
public:
    StreamedWriter(const BuildRequest &request, OutputFile *out) : request_(request), out_(out) {}

    // False with the fault printed; out is then to be discarded.
    bool Write(std::vector<LaidOutEntry> *entries, std::vector<size_t> *storedInstead) {
        std::vector<uint8_t> header(PayloadHeaderSize, 0);
        if (!Put(request_.launcherImage.data(), request_.launcherImage.size()) ||
            !Put(header.data(), header.size()) ||
            (!request_.contentPath.empty() &&
             !CopyFrom(request_.contentPath, request_.contentSize))) {
            return false;
        }
        for (LaidOutEntry &entry : *entries) {
            if (!WriteEntry(&entry, storedInstead)) {
                return false;
            }
        }
        uint64_t dataEnd = 0;
        PayloadHeader made = MakePayloadHeader(request_, *entries, &dataEnd);
        std::vector<uint8_t> tail(TrailerPadding(dataEnd) + PayloadTrailerSize, 0);
        WriteLittleEndian32(tail.data() + tail.size() - PayloadTrailerSize,
                            static_cast<uint32_t>(request_.launcherImage.size()));
        std::string tooLarge = PresentationTooLarge(out_->size() + tail.size());
        if (!tooLarge.empty()) {
            Fail(out_->path(), tooLarge);
            return false;
        }
        StorePayloadHeader(&made, header.data());
        std::string error;
        if (!Put(tail.data(), tail.size())) {
            return false;
        }
        if (!out_->WriteAt(request_.launcherImage.size(), header.data(), header.size(), &error)) {
            return Refuse(out_->path(), error);
        }
        return true;
    }

private:
    // Prints the fault; false, for the caller to return.
    static bool Refuse(const std::string &path, const std::string &why) {
        Fail(path, why);
        return false;
    }

    bool Put(const void *data, size_t size) {
        std::string error;
        return out_->Write(data, size, &error) || Refuse(out_->path(), error);
    }

    // Opens path, which must still be the size it was sized at.
    static bool OpenUnchanged(const std::string &path, uint64_t size, InputFile *in) {
        std::string error;
        if (!OpenInputFile(path, in, &error)) {
            return Refuse(path, error);
        }
        if (in->size != size) {
            CloseInputFile(in);
            return Refuse(path, ChangedWhileBuilt);
        }
        return true;
    }

    // size bytes of path, which must still be that size.
    bool CopyFrom(const std::string &path, uint64_t size) {
        InputFile in;
        if (!OpenUnchanged(path, size, &in)) {
            return false;
        }
        std::string error;
        std::vector<uint8_t> chunk(1 << 20);
        for (uint64_t at = 0; at < size;) {
            size_t part = static_cast<size_t>(size - at < chunk.size() ? size - at : chunk.size());
            if (!ReadInputAt(in, at, chunk.data(), part, &error)) {
                CloseInputFile(&in);
                return Refuse(path, error);
            }
            if (!Put(chunk.data(), part)) {
                CloseInputFile(&in);
                return false;
            }
            at += part;
        }
        CloseInputFile(&in);
        return true;
    }

    bool PutStored(const BuildEntry &entry) {
        return entry.sourcePath.empty() ? Put(entry.data.data(), entry.data.size())
                                        : CopyFrom(entry.sourcePath, entry.sourceSize);
    }

    bool PutStream(const BuildEntry &entry) {
        if (entry.sourcePath.empty()) {
            std::vector<uint8_t> stream = LzariCompress(entry.data.data(), entry.data.size(),
                                                        nullptr, nullptr, request_.parse);
            return Put(stream.data(), stream.size());
        }
        InputFile in;
        if (!OpenUnchanged(entry.sourcePath, entry.sourceSize, &in)) {
            return false;
        }
        std::string error;
        std::string label = "compressing " + PrintableText(BuildEntryFileName(entry));
        bool watched = WorthShowingProgress(static_cast<size_t>(in.size));
        StreamFault fault = CompressFile(in, out_, watched ? ShowProgress : nullptr,
                                         const_cast<char *>(label.c_str()), &error, request_.parse);
        CloseInputFile(&in);
        if (fault == StreamFault::None) {
            return true;
        }
        if (error.empty()) {
            error = ChangedWhileBuilt;
        }
        return Refuse(fault == StreamFault::Input ? entry.sourcePath : out_->path(), error);
    }

    // A stream that does not pay is taken back and the entry stored instead,
    // where it can be.
    bool WriteEntry(LaidOutEntry *laidOut, std::vector<size_t> *storedInstead) {
        const BuildEntry &entry = request_.entries[laidOut->requestIndex];
        uint64_t start = out_->size();
        if (laidOut->stored) {
            return PutStored(entry);
        }
        if (!PutStream(entry)) {
            return false;
        }
        laidOut->size = out_->size() - start;
        if (entry.keepStream || !EntryCanBeStored(entry) ||
            StreamIsWorthIt(laidOut->size, EntrySize(entry))) {
            return true;
        }
        std::string error;
        if (!out_->Rewind(start, &error)) {
            return Refuse(out_->path(), error);
        }
        laidOut->stored = true;
        laidOut->size = EntrySize(entry);
        laidOut->packedExtension = entry.outputExtension;
        storedInstead->push_back(laidOut->requestIndex);
        return PutStored(entry);
    }

    const BuildRequest &request_;
    OutputFile *out_;
};

// A message about an entry of a manifest names the manifest already.
int FailBuild(const BuildArguments &build, const std::string &error) {
    if (!build.manifest.empty() &&
        error.compare(0, build.manifest.size() + 1, build.manifest + ":") == 0) {
        (void)fprintf(stderr, "lumpack: %s\n", error.c_str());
        return 1;
    }
    return Fail(build.out, error);
}

// Says which entries asked to be compressed were stored because their
// streams would not have been 1% smaller, and which kept such a stream (an
// extension too long for a stored entry, or --compress=always): each start
// decodes those for little or nothing.
void TellStreamsNotWorthIt(const BuildRequest &request, const std::vector<LaidOutEntry> &entries,
                           const std::vector<size_t> &storedInstead) {
    for (size_t i = 0; i < entries.size(); i++) {
        const BuildEntry &entry = request.entries[entries[i].requestIndex];
        std::string label = "entry " + std::to_string(i + 1) + " (" +
                            PrintableText(BuildEntryFileName(entry)) + ")";
        bool insteadStored = std::find(storedInstead.begin(), storedInstead.end(),
                                       entries[i].requestIndex) != storedInstead.end();
        if (insteadStored) {
            (void)fprintf(stderr,
                          "lumpack: %s: stored: its stream would not be 1%% smaller than its "
                          "%llu bytes (--compress=always keeps it)\n",
                          label.c_str(), static_cast<unsigned long long>(EntrySize(entry)));
        } else if (!entries[i].stored && EntrySize(entry) > 0 &&
                   !StreamIsWorthIt(entries[i].size, EntrySize(entry))) {
            (void)fprintf(stderr,
                          "lumpack: %s: compressed to %llu bytes, not 1%% smaller than its %llu; "
                          "stored, it would start faster\n",
                          label.c_str(), static_cast<unsigned long long>(entries[i].size),
                          static_cast<unsigned long long>(EntrySize(entry)));
        }
    }
}

}  // namespace

int Build(const BuildArguments &arguments, Verbosity verbosity) {
    std::string error;
    BuildArguments build = arguments;
    if (!build.manifest.empty() && !ReadBuildManifest(build.manifest, &build, &error)) {
        (void)fprintf(stderr, "lumpack: %s\n", error.c_str());
        return 1;
    }
    if (OutputIsAnInput(build) || !InputSizesFit(build)) {
        return 1;
    }
    OutputFile out;
    if (!out.Begin(build.out, build.force, false, &error)) {
        return Fail(build.out, error);
    }
    BuildRequest request;
    if (!LoadRequest(build, &request)) {
        return 1;
    }
    error = BuildRequestProblem(request);
    if (error.empty()) {
        error = LaunchProblem(request);
    }
    if (!error.empty()) {
        return FailBuild(build, error);
    }
    std::vector<LaidOutEntry> entries;
    std::vector<size_t> storedInstead;
    if (!PlanPresentation(request, &entries, &error)) {
        return FailBuild(build, error);
    }
    StreamedWriter writer(request, &out);
    if (!writer.Write(&entries, &storedInstead)) {
        return 1;
    }
    uint64_t size = out.size();
    if (!out.Commit(&error)) {
        return Fail(build.out, error);
    }
    TellWritten(verbosity, build.out, size);
    if (verbosity == Verbosity::Verbose) {
        TellStreamsNotWorthIt(request, entries, storedInstead);
    }
    if (Talk(verbosity)) {
        printf("%s: %llu bytes, %zu %s\n", build.out.c_str(), static_cast<unsigned long long>(size),
               request.entries.size(), request.entries.size() == 1 ? "entry" : "entries");
    }
    return 0;
}
