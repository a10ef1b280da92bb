// lumpack: the command-line tool around presentation executables. This file
// only parses arguments and prints; the work is done by the library.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "build_arguments.h"
#include "display_text.h"
#include "file_io.h"
#include "lzari/lzari_encoder.h"
#include "lzari_files.h"
#include "presentation_builder.h"
#include "presentation_extract.h"
#include "presentation_listing.h"
#include "presentation_reader.h"

namespace {

const char Usage[] =
    "usage: lumpack COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  build OUT --launcher EXE [--content FILE] --file SOURCE...\n"
    "                      build a presentation executable\n"
    "  list FILE [--json]  describe a presentation's header and entries\n"
    "  extract FILE DIR    write a presentation's files and content into DIR\n"
    "  verify FILE         check a presentation the way the launcher reads it\n"
    "  compress IN OUT     compress IN into the LZARI stream OUT\n"
    "  decompress IN OUT   decode the LZARI stream IN into OUT\n"
    "\n"
    "lumpack COMMAND --help shows the help of one command.\n";

const char CompressHelp[] =
    "usage: lumpack compress IN OUT [--force]\n"
    "Compresses the file IN into OUT as an LZARI stream: its length as 4 bytes,\n"
    "least significant first, then the coded data. IN is at most 4 GiB - 1 bytes.\n"
    "OUT - writes to standard output; any other OUT is written whole or not at\n"
    "all, is never IN, and replaces an existing file only with --force.\n";

const char DecompressHelp[] =
    "usage: lumpack decompress IN OUT [--force]\n"
    "Decodes the LZARI stream IN into OUT, which gets exactly the length the\n"
    "stream declares. The stream is checked as lumpack verify checks an entry's:\n"
    "a length its size cannot code, a stream cut short or damaged, and bytes\n"
    "after the coded data fail, and leave no OUT. OUT - writes to standard\n"
    "output; any other OUT is written whole or not at all, is never IN, and\n"
    "replaces an existing file only with --force.\n";

const char BuildHelp[] =
    "usage: lumpack build OUT --launcher EXE [--content FILE] [--reserved N,M] [--force]\n"
    "                     [--file SOURCE [--as NAME.EXT] [--compress [--packed EXT]]\n"
    "                                    [--temp]]...\n"
    "Writes the presentation executable OUT: the launcher image EXE, then the\n"
    "header, the content FILE (none when left out) and up to five embedded files.\n"
    "\n"
    "  --launcher EXE     the bare launcher: a complete Windows executable (no DLL),\n"
    "                     unsigned and without a payload\n"
    "  --content FILE     the presentation content the player reads\n"
    "  --reserved N,M     the header's two reserved words (default 0,0)\n"
    "  --force            replace OUT when it exists\n"
    "  --file SOURCE      starts an entry; the options after it, up to the next\n"
    "                     --file, describe that entry:\n"
    "    --as NAME.EXT    the file it becomes (default: SOURCE's own name); a name\n"
    "                     of at most 32 and an extension of at most 6 characters\n"
    "    --compress       store it LZARI-compressed (--stored, the default: as is)\n"
    "    --packed EXT     the packed extension of a compressed entry (default:\n"
    "                     the extension's first two characters and '_')\n"
    "    --temp           unpacked into the run's temporary folder (--exe-folder,\n"
    "                     the default: beside the executable)\n"
    "\n"
    "Entries are numbered from 1 in the order given. OUT is written whole or not\n"
    "at all and is never one of the inputs. For example:\n"
    "  lumpack build show.exe --launcher launcher.exe --content show.lvc \\\n"
    "      --file lumv.dll --compress --temp --file readme.txt\n";

const char ListHelp[] =
    "usage: lumpack list FILE [--json]\n"
    "Describes the presentation FILE: where its header lies, whether it is signed,\n"
    "its content and reserved words, and per entry its group (exe: beside the\n"
    "executable, temp: the run's temporary folder), file name, stored or\n"
    "compressed, stored and decoded size and ratio. --json prints the same as JSON.\n"
    "Sizes are read from the header and the streams' length fields; lumpack\n"
    "verify decodes the streams.\n";

const char ExtractHelp[] =
    "usage: lumpack extract FILE DIR [--force]\n"
    "Writes the files the launcher would unpack from FILE into DIR: the entries\n"
    "for beside the executable into DIR itself, those for the temporary folder\n"
    "into DIR/TempFolder, and the content into DIR/content. DIR is created when\n"
    "missing. Nothing is run. Existing files are left alone and nothing is\n"
    "written unless --force is given; on any failure nothing is left behind. A\n"
    "presentation that lumpack verify faults is not extracted.\n";

const char VerifyHelp[] =
    "usage: lumpack verify FILE\n"
    "Checks FILE the way the launcher reads it: trailer and header, counts, the\n"
    "content's offset, every entry's name, size and bytes, and decodes every\n"
    "compressed entry. Prints an OK line and exits with 0, or names each fault\n"
    "and exits with 1. Warnings (entries sharing bytes, two entries writing one\n"
    "file) do not fail it. Stored entries and the content carry no checksum:\n"
    "a changed byte in them cannot be detected.\n";

bool IsHelp(const std::string &argument) {
    return argument == "--help" || argument == "-h";
}

int Fail(const std::string &path, const std::string &why) {
    (void)fprintf(stderr, "lumpack: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

int UsageError(const char *command, const std::string &why, const char *help) {
    (void)fprintf(stderr, "lumpack %s: %s\n%s", command, why.c_str(), help);
    return 2;
}

void ShowProgress(void *context, size_t done, size_t total) {
    const char *verb = static_cast<const char *>(context);
    (void)fprintf(stderr, "\r%s: %3u%%", verb,
                  static_cast<unsigned>(total == 0 ? 100 : done * 100 / total));
    if (done == total) {
        (void)fprintf(stderr, "\n");
    }
}

// Progress only where someone watches, and only when it takes a while.
bool WorthShowingProgress(size_t size) {
    return isatty(STDERR_FILENO) && size >= (4u << 20);
}

struct StreamArguments {
    std::string in;
    std::string out;
    bool force = false;
};

// IN OUT [--force], in any order; OUT may be "-".
bool ParseStreamArguments(const std::vector<std::string> &args, StreamArguments *parsed,
                          std::string *error) {
    std::vector<std::string> positional;
    for (const std::string &argument : args) {
        if (argument == "--force") {
            parsed->force = true;
        } else if ((argument.size() > 1 && argument[0] == '-') || positional.size() == 2) {
            *error = "unexpected argument '" + argument + "'";
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2 || positional[0] == "-") {
        *error = "expected IN and OUT";
        return false;
    }
    parsed->in = positional[0];
    parsed->out = positional[1];
    return true;
}

// Opens IN and starts OUT for compress and decompress; 0 when both are
// ready, else the exit status.
int OpenStreamFiles(const StreamArguments &files, InputFile *in, OutputFile *out) {
    std::string error;
    if (!OpenInputFile(files.in, in, &error)) {
        return Fail(files.in, error);
    }
    if (files.out != "-" && SameFile(files.in, files.out)) {
        return Fail(files.out, "is the input file; choose another output file");
    }
    if (!out->Begin(files.out, files.force, true, &error)) {
        return Fail(files.out, error);
    }
    return 0;
}

int Compress(const std::vector<std::string> &args) {
    StreamArguments files;
    std::string error;
    if (!ParseStreamArguments(args, &files, &error)) {
        return UsageError("compress", error, CompressHelp);
    }
    InputFile in;
    OutputFile out;
    int status = OpenStreamFiles(files, &in, &out);
    if (status != 0) {
        return status;
    }
    if (in.size > 0xFFFFFFFFu) {
        return Fail(files.in, "too large for a stream (at most 4 GiB - 1 bytes)");
    }
    bool showProgress = WorthShowingProgress(static_cast<size_t>(in.size));
    StreamFault fault = CompressFile(in, &out, showProgress ? ShowProgress : nullptr,
                                     const_cast<char *>("compressing"), &error);
    CloseInputFile(&in);
    if (fault != StreamFault::None) {
        return Fail(fault == StreamFault::Input ? files.in : files.out, error);
    }
    if (!out.Commit(&error)) {
        return Fail(files.out, error);
    }
    return 0;
}

int Decompress(const std::vector<std::string> &args) {
    StreamArguments files;
    std::string error;
    if (!ParseStreamArguments(args, &files, &error)) {
        return UsageError("decompress", error, DecompressHelp);
    }
    InputFile in;
    OutputFile out;
    int status = OpenStreamFiles(files, &in, &out);
    if (status != 0) {
        return status;
    }
    StreamFault fault = DecompressFile(in, &out, &error);
    CloseInputFile(&in);
    if (fault != StreamFault::None) {
        return Fail(fault == StreamFault::Input ? files.in : files.out,
                    error + "; nothing written");
    }
    if (!out.Commit(&error)) {
        return Fail(files.out, error);
    }
    return 0;
}

// ---- build ----

// A 32-bit word, written signed or unsigned, decimal or 0x hexadecimal.
bool ParseWord(const std::string &text, int32_t *value) {
    if (text.empty()) {
        return false;
    }
    char *end = nullptr;
    long long number = strtoll(text.c_str(), &end, 0);
    if (*end != '\0' || number < -0x80000000LL || number > 0xFFFFFFFFLL) {
        return false;
    }
    *value = static_cast<int32_t>(static_cast<uint32_t>(number));
    return true;
}

bool ParseReserved(const std::string &text, int32_t reserved[2]) {
    size_t comma = text.find(',');
    return comma != std::string::npos && ParseWord(text.substr(0, comma), &reserved[0]) &&
           ParseWord(text.substr(comma + 1), &reserved[1]);
}

bool TakesValue(const std::string &option) {
    return option == "--launcher" || option == "--content" || option == "--reserved" ||
           option == "--file" || option == "--as" || option == "--packed";
}

bool IsEntryOption(const std::string &option) {
    return option == "--as" || option == "--compress" || option == "--stored" ||
           option == "--packed" || option == "--temp" || option == "--exe-folder";
}

// Sets a value that may be given once.
bool SetOnce(std::string *field, const std::string &value, const std::string &option,
             std::string *error) {
    if (!field->empty()) {
        *error = option + " given twice";
        return false;
    }
    if (value.empty()) {
        *error = option + " needs a non-empty value";
        return false;
    }
    *field = value;
    return true;
}

bool ApplyEntryOption(EntryArgument *entry, const std::string &option, const std::string &value,
                      std::string *error) {
    if (option == "--as") {
        return SetOnce(&entry->as, value, option, error);
    }
    if (option == "--packed") {
        return SetOnce(&entry->packed, value, option, error);
    }
    if (option == "--compress" || option == "--stored") {
        entry->compressed = option == "--compress";
    } else {
        entry->temp = option == "--temp";
    }
    return true;
}

bool ApplyOption(BuildArguments *build, const std::string &option, const std::string &value,
                 std::string *error) {
    if (option == "--launcher") {
        return SetOnce(&build->launcher, value, option, error);
    }
    if (option == "--content") {
        return SetOnce(&build->content, value, option, error);
    }
    if (option == "--reserved") {
        if (!ParseReserved(value, build->reserved)) {
            *error = "--reserved expects two 32-bit numbers, like 80,192";
            return false;
        }
        return true;
    }
    if (option == "--file") {
        build->entries.push_back(EntryArgument());
        return SetOnce(&build->entries.back().source, value, option, error);
    }
    if (build->entries.empty()) {
        *error = option + " describes an entry: put it after --file SOURCE";
        return false;
    }
    return ApplyEntryOption(&build->entries.back(), option, value, error);
}

bool ParseBuildArguments(const std::vector<std::string> &args, BuildArguments *build,
                         std::string *error) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &argument = args[i];
        if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (!build->out.empty()) {
                *error = "unexpected argument '" + argument + "' (files are added with --file)";
                return false;
            }
            build->out = argument;
            continue;
        }
        if (argument == "--force") {
            build->force = true;
            continue;
        }
        bool known = TakesValue(argument) || IsEntryOption(argument);
        if (!known) {
            *error = "unknown option '" + argument + "'";
            return false;
        }
        std::string value;
        if (TakesValue(argument)) {
            if (i + 1 >= args.size()) {
                *error = argument + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!ApplyOption(build, argument, value, error)) {
            return false;
        }
    }
    if (build->out.empty()) {
        *error = "expected the output file OUT";
        return false;
    }
    if (build->launcher.empty()) {
        *error = "expected --launcher EXE";
        return false;
    }
    return true;
}

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

std::string BaseName(const std::string &path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadInput(const std::string &path, std::vector<uint8_t> *data) {
    std::string error;
    if (!ReadWholeFile(path, data, &error)) {
        Fail(path, error);
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
bool InputSize(const std::string &path, uint64_t limit, const char *what, uint64_t *size) {
    InputFile file;
    std::string error;
    if (!OpenInputFile(path, &file, &error)) {
        Fail(path, error);
        return false;
    }
    CloseInputFile(&file);
    *size = file.size;
    if (file.size > limit) {
        Fail(path, "too large: " + std::to_string(file.size) + " bytes, at most " +
                       std::to_string(limit) + " " + what);
        return false;
    }
    return true;
}

// Opens every input and checks the sizes against the format's limits before
// anything is read: the presentation's size bound holds even if every
// compressed entry shrank to its 4-byte length field.
bool InputSizesFit(const BuildArguments &build) {
    const char *fits = "fit in a presentation";
    uint64_t size = 0;
    uint64_t smallest = PayloadHeaderSize + PayloadTrailerSize;
    if (!InputSize(build.launcher, MaxPresentationSize, fits, &size)) {
        return false;
    }
    smallest += size;
    if (!build.content.empty() && !InputSize(build.content, MaxPresentationSize, fits, &size)) {
        return false;
    }
    smallest += build.content.empty() ? 0 : size;
    for (const EntryArgument &entry : build.entries) {
        uint64_t limit = entry.compressed ? 0xFFFFFFFFu : MaxPresentationSize;
        if (!InputSize(entry.source, limit, entry.compressed ? "can be compressed" : fits, &size)) {
            return false;
        }
        smallest += entry.compressed || size == 0 ? 4 : size;
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

bool LoadRequest(const BuildArguments &build, BuildRequest *request) {
    if (!LoadLauncher(build.launcher, &request->launcherImage) ||
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
        entry.packedExtension = argument.packed;
        entry.group = argument.temp ? EntryGroup::TempFolder : EntryGroup::ExeFolder;
        if (!ReadInput(argument.source, &entry.data)) {
            return false;
        }
        request->entries.push_back(std::move(entry));
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

int Build(const std::vector<std::string> &args) {
    BuildArguments build;
    std::string error;
    if (!ParseBuildArguments(args, &build, &error)) {
        return UsageError("build", error, BuildHelp);
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
    BuildProgressState state = {&request, ""};
    bool showProgress = AnyLargeCompression(request);
    std::vector<uint8_t> output;
    if (!BuildPresentation(request, &output, &error, showProgress ? ShowBuildProgress : nullptr,
                           &state)) {
        return Fail(build.out, error);
    }
    if (!out.Write(output.data(), output.size(), &error) || !out.Commit(&error)) {
        return Fail(build.out, error);
    }
    printf("%s: %zu bytes, %zu %s\n", build.out.c_str(), output.size(), request.entries.size(),
           request.entries.size() == 1 ? "entry" : "entries");
    return 0;
}

// ---- list, verify, extract ----

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

int List(const std::vector<std::string> &args) {
    std::string path;
    bool json = false;
    for (const std::string &argument : args) {
        if (argument == "--json") {
            json = true;
        } else if (argument.compare(0, 1, "-") == 0 || !path.empty()) {
            return UsageError("list", "unexpected argument '" + argument + "'", ListHelp);
        } else {
            path = argument;
        }
    }
    if (path.empty()) {
        return UsageError("list", "expected FILE", ListHelp);
    }
    PresentationFile file;
    Presentation presentation;
    if (!OpenFile(path, &file, &presentation)) {
        return 1;
    }
    std::string text = json ? ListingJson(path, presentation) : ListingText(path, presentation);
    (void)fputs(text.c_str(), stdout);
    return 0;
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

int Verify(const std::vector<std::string> &args) {
    if (args.size() != 1 || args[0].compare(0, 1, "-") == 0) {
        return UsageError("verify", "expected FILE", VerifyHelp);
    }
    const std::string &path = args[0];
    PresentationFile file;
    if (!file.Open(path)) {
        return 1;
    }
    std::vector<Finding> findings;
    VerifyPresentation(file.reader(), file.size(), &findings);
    if (!Report(path, findings)) {
        return 1;
    }
    Presentation presentation;
    std::string error;
    if (!OpenPresentation(file.reader(), file.size(), &presentation, &error)) {
        return Fail(path, error);  // the file changed since it was verified
    }
    int32_t entries = presentation.header.entryCount;
    printf("%s: OK, %d %s, %u content bytes%s%s\nnote: %s\n", path.c_str(), entries,
           entries == 1 ? "entry" : "entries", presentation.contentSize,
           presentation.isSigned ? ", signed" : "", findings.empty() ? "" : ", with warnings",
           UncheckedBytesNote);
    return 0;
}

int Extract(const std::vector<std::string> &args) {
    std::vector<std::string> positional;
    ExtractRequest request;
    for (const std::string &argument : args) {
        if (argument == "--force") {
            request.force = true;
        } else if (argument.compare(0, 1, "-") == 0 || positional.size() == 2) {
            return UsageError("extract", "unexpected argument '" + argument + "'", ExtractHelp);
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) {
        return UsageError("extract", "expected FILE and DIR", ExtractHelp);
    }
    request.sourcePath = positional[0];
    request.folder = positional[1];
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
    std::vector<std::string> written;
    std::string error;
    if (!ExtractPresentation(file.reader(), presentation, request, &written, &error)) {
        return Fail(request.sourcePath, error + "; nothing extracted");
    }
    for (const std::string &path : written) {
        printf("%s\n", PrintableText(path).c_str());
    }
    return 0;
}

struct Command {
    const char *name;
    const char *help;
    int (*run)(const std::vector<std::string> &args);
};

const Command Commands[] = {
    {"build", BuildHelp, Build},          {"list", ListHelp, List},
    {"extract", ExtractHelp, Extract},    {"verify", VerifyHelp, Verify},
    {"compress", CompressHelp, Compress}, {"decompress", DecompressHelp, Decompress},
};

const Command *FindCommand(const std::string &name) {
    for (const Command &command : Commands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2 || IsHelp(argv[1])) {
        (void)fputs(Usage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const Command *command = FindCommand(argv[1]);
    if (command == nullptr) {
        (void)fprintf(stderr, "lumpack: unknown command '%s'\n%s", argv[1], Usage);
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string &argument : args) {
        if (IsHelp(argument)) {
            (void)fputs(command->help, stdout);
            return 0;
        }
    }
    RemoveOutputsOnSignals();
    // Memory running out is an error like any other: the outputs being
    // written are removed on the way out.
    try {
        return command->run(args);
    } catch (const std::bad_alloc &) {
        (void)fprintf(stderr, "lumpack %s: not enough memory\n", command->name);
    } catch (const std::length_error &) {
        (void)fprintf(stderr, "lumpack %s: not enough memory\n", command->name);
    }
    return 1;
}
