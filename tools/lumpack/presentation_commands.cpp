// `lumpack list`, `verify` and `extract`: the presentation opened once and
// read where needed, the findings and paths printed.
#include "presentation_commands.h"

#include <stdio.h>

#include <vector>

#include "display_text.h"
#include "file_io.h"
#include "launch_checks.h"
#include "presentation_reader.h"

namespace {

// A presentation opened once and read where needed: only its header when
// listed, a chunk at a time when verified or extracted.
class PresentationFile {
public:
    PresentationFile() : reader_(MakeFileByteReader(&file_)) {}
    ~PresentationFile() { CloseInputFile(&file_); }
    PresentationFile(const PresentationFile &) = delete;
    PresentationFile &operator=(const PresentationFile &) = delete;

    // Opens path as a regular file; false, with the reason printed, when that fails.
    bool Open(const std::string &path) {
        std::string error;
        if (!OpenInputFile(path, &file_, &error)) {
            Fail(path, error);
            return false;
        }
        return true;
    }

    const PayloadByteReader *reader() const { return &reader_.reader; }
    uint64_t size() const { return file_.size; }

private:
    InputFile file_;
    FileByteReader reader_;
};

bool OpenFile(const std::string &path, PresentationFile *file, Presentation *presentation) {
    std::string error;
    if (!file->Open(path)) {
        return false;
    }
    if (!OpenPresentation(file->reader(), file->size(), presentation, &error)) {
        Fail(path, error);
        return false;
    }
    return true;
}

// Prints the findings; true when none is a fault.
bool Report(const std::string &path, const std::vector<Finding> &findings) {
    bool ok = true;
    for (const Finding &finding : findings) {
        bool fault = finding.severity == Severity::Fault;
        (void)fprintf(stderr, "lumpack: %s: %s%s\n", path.c_str(),
                      fault ? "" : "warning: ", finding.message.c_str());
        ok = ok && !fault;
    }
    return ok;
}

// One entry's bytes to standard output.
bool WriteToStandardOutput(void *context, const uint8_t *bytes, size_t size, std::string *error) {
    return static_cast<OutputFile *>(context)->Write(bytes, size, error);
}

int ExtractToStandardOutput(const PresentationFile &file, const Presentation &presentation,
                            const ExtractArguments &extract) {
    const std::string &source = extract.request.sourcePath;
    size_t index = 0;
    std::string error;
    if (!FindEntryNamed(presentation, extract.stdoutName, &index, &error)) {
        return Fail(source, error);
    }
    OutputFile out;
    if (!out.Begin("-", false, true, &error) ||
        !CopyEntryData(file.reader(), presentation, index, WriteToStandardOutput, &out, &error) ||
        !out.Commit(&error)) {
        return Fail(source, error);
    }
    return 0;
}

}  // namespace

int List(const ListArguments &list, Verbosity verbosity) {
    PresentationFile file;
    Presentation presentation;
    if (!OpenFile(list.path, &file, &presentation)) {
        return 1;
    }
    ListingOptions options = list.options;
    if (options.hashes && WorthShowingProgress(static_cast<size_t>(file.size()))) {
        options.progress = ShowProgress;
        options.progressContext = const_cast<char *>("hashing");
    }
    std::string text;
    std::string error;
    if (!ListPresentation(file.reader(), list.path, presentation, options, &text, &error)) {
        return Fail(list.path, error);
    }
    (void)verbosity;  // the listing is the output, printed with -q too
    (void)fputs(text.c_str(), stdout);
    return 0;
}

int Verify(const std::string &path, Verbosity verbosity) {
    PresentationFile file;
    if (!file.Open(path)) {
        return 1;
    }
    std::vector<Finding> findings;
    if (VerifyPresentation(file.reader(), file.size(), &findings)) {
        CheckLaunch(file.reader(), file.size(), &findings);
    }
    if (!Report(path, findings)) {
        return 1;
    }
    Presentation presentation;
    std::string error;
    if (!OpenPresentation(file.reader(), file.size(), &presentation, &error)) {
        return Fail(path, error);  // the file changed since it was verified
    }
    if (!Talk(verbosity)) {
        return 0;
    }
    int32_t entries = presentation.header.entryCount;
    printf("%s: OK, %d %s, %u content bytes%s%s\n", path.c_str(), entries,
           entries == 1 ? "entry" : "entries", presentation.contentSize,
           presentation.isSigned ? ", signed" : "", findings.empty() ? "" : ", with warnings");
    if (verbosity == Verbosity::Verbose) {
        for (const EntryInfo &entry : presentation.entries) {
            printf("  %s: %s, %llu bytes %s; its name and span checked\n",
                   EntryLabel(entry).c_str(), entry.stored ? "stored" : "its stream decoded",
                   static_cast<unsigned long long>(entry.decodedSize),
                   entry.tempGroup ? "for the temporary folder" : "beside the executable");
        }
    }
    printf("note: %s\n", UncheckedBytesNote);
    return 0;
}

int Extract(const ExtractArguments &extract, Verbosity verbosity) {
    const ExtractRequest &request = extract.request;
    PresentationFile file;
    Presentation presentation;
    if (!OpenFile(request.sourcePath, &file, &presentation)) {
        return 1;
    }
    // Entries are decoded only while written: a damaged one is found here,
    // before anything is created.
    std::vector<Finding> findings;
    if (!VerifyPresentation(file.reader(), file.size(), &findings)) {
        Report(request.sourcePath, findings);
        return Fail(request.sourcePath, "damaged; nothing extracted");
    }
    if (!extract.stdoutName.empty()) {
        return ExtractToStandardOutput(file, presentation, extract);
    }
    // Everything extracted: how to build it again comes along.
    ExtractRequest all = request;
    all.manifestRelative = all.manifest.empty();
    if (all.names.empty() && all.manifest.empty()) {
        all.manifest = all.folder + "/" + ExtractManifestFileName;
    }
    std::vector<std::string> written;
    std::string error;
    if (!ExtractPresentation(file.reader(), presentation, all, &written, &error)) {
        return Fail(request.sourcePath, error + "; nothing extracted");
    }
    for (const std::string &path : written) {
        if (Talk(verbosity)) {
            printf("%s\n", PrintableText(path).c_str());
        }
    }
    return 0;
}
