// `lumpack build`: OUT never one of the inputs, every input's size checked
// before any is read, the entries named and read, the presentation written.
#include "build_command.h"

#include <stdio.h>

#include <algorithm>

#include <string>
#include <vector>

#include "build_manifest.h"
#include "display_text.h"
#include "file_io.h"
#include "launch_checks.h"
#include "lzari/lzari_stream_io.h"
#include "pe_resources.h"
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

bool LoadRequest(const BuildArguments &build, BuildRequest *request) {
    if (!LoadLauncher(build.launcher, &request->launcherImage) ||
        !ChangeResources(build, &request->launcherImage) ||
        (!build.content.empty() && !ReadInput(build.content, &request->content))) {
        return false;
    }
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
        if (!ReadInput(argument.source, &entry.data, SourceName(build, argument))) {
            return false;
        }
        request->entries.push_back(std::move(entry));
        if (!argument.where.empty()) {
            request->entryLabels.push_back(argument.where);
            request->entryLabelSource = build.manifest;
        }
    }
    return true;
}

struct BuildProgressState {
    const BuildRequest *request;
    std::string label;
};

void ShowBuildProgress(void *context, size_t entryIndex, size_t done, size_t total) {
    BuildProgressState *state = static_cast<BuildProgressState *>(context);
    const BuildEntry &entry = state->request->entries[entryIndex];
    state->label = "compressing " + PrintableText(entry.name + "." + entry.outputExtension);
    ShowProgress(const_cast<char *>(state->label.c_str()), done, total);
}

bool AnyLargeCompression(const BuildRequest &request) {
    for (const BuildEntry &entry : request.entries) {
        if (entry.compressed && WorthShowingProgress(entry.data.size())) {
            return true;
        }
    }
    return false;
}

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
void TellStreamsNotWorthIt(const BuildRequest &request, const std::vector<size_t> &storedInstead,
                           const std::vector<uint8_t> &output) {
    for (size_t index : storedInstead) {
        const BuildEntry &entry = request.entries[index];
        (void)fprintf(stderr,
                      "lumpack: %s: stored: its stream would not be 1%% smaller than its %zu "
                      "bytes (--compress=always keeps it)\n",
                      PrintableText(entry.name + "." + entry.outputExtension).c_str(),
                      entry.data.size());
    }
    Presentation built;
    std::string error;
    if (!OpenPresentation(output.data(), output.size(), &built, &error)) {
        return;
    }
    for (const EntryInfo &entry : built.entries) {
        if (!entry.stored && entry.decodedSize > 0 &&
            !StreamIsWorthIt(entry.spanSize, entry.decodedSize)) {
            (void)fprintf(stderr,
                          "lumpack: %s: compressed to %u bytes, not 1%% smaller than its %llu; "
                          "stored, it would start faster\n",
                          EntryLabel(entry).c_str(), entry.spanSize,
                          static_cast<unsigned long long>(entry.decodedSize));
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
    BuildProgressState state = {&request, ""};
    bool showProgress = AnyLargeCompression(request);
    std::vector<uint8_t> output;
    std::vector<size_t> storedInstead;
    if (!BuildPresentation(request, &output, &error, showProgress ? ShowBuildProgress : nullptr,
                           &state, &storedInstead)) {
        return FailBuild(build, error);
    }
    if (!out.Write(output.data(), output.size(), &error) || !out.Commit(&error)) {
        return Fail(build.out, error);
    }
    TellWritten(verbosity, build.out, output.size());
    if (verbosity == Verbosity::Verbose) {
        TellStreamsNotWorthIt(request, storedInstead, output);
    }
    if (Talk(verbosity)) {
        printf("%s: %zu bytes, %zu %s\n", build.out.c_str(), output.size(), request.entries.size(),
               request.entries.size() == 1 ? "entry" : "entries");
    }
    return 0;
}
