// lumpack: the command-line tool around presentation executables. This file
// holds the help and reads the command line into the arguments of the
// command it runs; the commands themselves are in the library.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "build_arguments.h"
#include "build_command.h"
#include "code_page_text.h"
#include "command_messages.h"
#include "file_io.h"
#include "presentation_commands.h"
#include "stream_commands.h"
#include "version_resource.h"

namespace {

// What each command's --help says after its options.
const char CompressFooter[] =
    "Compresses the file IN into OUT as an LZARI stream: its length as 4 bytes,\n"
    "least significant first, then the coded data. IN is at most 4 GiB - 1 bytes.\n"
    "OUT - writes to standard output; any other OUT is written whole or not at\n"
    "all, is never IN, and replaces an existing file only with --force.";

const char DecompressFooter[] =
    "Decodes the LZARI stream IN into OUT, which gets exactly the length the\n"
    "stream declares. The stream is checked as lumpack verify checks an entry's:\n"
    "a length its size cannot code, a stream cut short or damaged, and bytes\n"
    "after the coded data fail, and leave no OUT. OUT - writes to standard\n"
    "output; any other OUT is written whole or not at all, is never IN, and\n"
    "replaces an existing file only with --force.";

const char BuildFooter[] =
    "Writes the presentation executable OUT: the launcher image EXE, then the\n"
    "header, the content FILE (none when left out) and up to five embedded files.\n"
    "The options after a --file, up to the next --file, describe that entry.\n"
    "\n"
    "Entries are numbered as lumpack list shows them: those beside the executable\n"
    "first, then those for the temporary folder, each group in the order given.\n"
    "OUT is written whole or not at all and is never one of the inputs. The same\n"
    "inputs always give the same bytes: nothing depends on the time, the machine\n"
    "or the order of a folder. For example:\n"
    "  lumpack build show.exe --launcher launcher.exe --content show.lvc \\\n"
    "      --file lumv.dll --compress --temp --file readme.txt\n"
    "\n"
    "Where the launcher looks for the player: once a show has entries for the\n"
    "temporary folder, only in the run's temporary folder, so lumv.dll must be one\n"
    "of them (--temp); without such entries beside the executable, in its Kivox\n"
    "folder, then in the installed player's folder. build refuses a show whose\n"
    "player the launcher would not find there, or could not call: a DLL of the\n"
    "launcher's architecture exporting LumivanceMain undecorated. Names with a\n"
    "path separator, and stored entries with extensions over 3 characters, are\n"
    "refused too: the launcher could not unpack them.\n"
    "\n"
    "--icon FILE.ico (every size and depth in it, PNG images included) and\n"
    "--version-info KEY=VALUE (Comments, CompanyName, FileDescription, FileVersion,\n"
    "InternalName, LegalCopyright, LegalTrademarks, OriginalFilename, PrivateBuild,\n"
    "ProductName, ProductVersion, SpecialBuild) give the show its own icon and\n"
    "version texts in place of the launcher's; any --version-info replaces all of\n"
    "the launcher's texts. The rest of the launcher image stays byte for byte.\n"
    "\n"
    "--manifest FILE takes the launcher, content, reserved words, icon, version\n"
    "texts and entries from a JSON file instead of those flags, which cannot be\n"
    "combined with it. Its paths are relative to its own folder:\n"
    "  {\"launcher\": \"launcher.exe\", \"content\": \"show.lvc\", \"reserved\": [80, 192],\n"
    "   \"entries\": [{\"file\": \"lumv.dll\", \"compress\": true, \"temp\": true},\n"
    "               {\"file\": \"docs/readme.txt\", \"as\": \"readme.txt\"}]}\n"
    "\"launcher\" is required; \"icon\" is a path and \"versionInfo\" an object of\n"
    "strings ({\"ProductName\": \"My Show\"}). An entry needs \"file\" and may have\n"
    "\"as\", \"packed\" (strings), \"compress\" and \"temp\" (true or false), as the\n"
    "flags of the same names. Unknown or repeated keys and values of the wrong type\n"
    "are errors. The reserved words go into the header as given: the launcher\n"
    "ignores them, a player may read them.";

const char ListFooter[] =
    "Describes the presentation FILE: where its header lies, whether it is signed,\n"
    "its content and reserved words, and per entry its group (exe: beside the\n"
    "executable, temp: the run's temporary folder), file name, stored or\n"
    "compressed, stored and decoded size and ratio. Sizes are read from the\n"
    "header and the streams' length fields; lumpack verify decodes the streams.\n"
    "--json prints the same as one JSON document (UTF-8), names read in the code\n"
    "page --codepage gives (1252, Western, or 932, Japanese); --hashes adds the\n"
    "SHA-256 of each file the launcher writes and of the content.";

const char ExtractFooter[] =
    "Writes the files the launcher would unpack from FILE into DIR: the entries\n"
    "for beside the executable into DIR itself, those for the temporary folder\n"
    "into DIR/TempFolder, the content into DIR/content, the launcher image into\n"
    "DIR/launcher and a build manifest into DIR/manifest.json (or --manifest\n"
    "FILE, which then names the files by their absolute paths), so that\n"
    "  lumpack build OUT --manifest DIR/manifest.json\n"
    "builds the same bytes again. With NAMEs, only the entries of those file\n"
    "names (no image, content or manifest). --stdout NAME writes that one entry\n"
    "to standard output instead. DIR is created when missing. Nothing is run.\n"
    "Existing files are left alone and nothing is written unless --force is\n"
    "given; on any failure nothing is left behind. A presentation that lumpack\n"
    "verify finds damaged is not extracted.";

const char VerifyFooter[] =
    "Checks FILE the way the launcher reads it: trailer and header, counts, the\n"
    "content's offset, every entry's name, size and bytes, and decodes every\n"
    "compressed entry. Prints an OK line and exits with 0, or names each fault\n"
    "and exits with 1. Warnings (entries sharing bytes, two entries writing one\n"
    "file) do not fail it. Stored entries and the content carry no checksum:\n"
    "a changed byte in them cannot be detected.";

// ---- the command line ----

// The parsed command line: which command runs, and with what.
struct CommandLine {
    std::string command = "lumpack";
    int (*run)(const CommandLine &line) = nullptr;
    Verbosity verbosity = Verbosity::Normal;
    StreamArguments stream;
    BuildArguments build;
    ListArguments list;
    std::string verifyPath;
    ExtractArguments extract;
};

// A 32-bit word, written signed or unsigned, in decimal (leading zeros
// included: 010 is ten) or 0x hexadecimal.
bool ParseWord(const std::string &text, int32_t *value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (text.empty() || (!hex && text.find_first_not_of("+-0123456789") != std::string::npos)) {
        return false;
    }
    char *end = nullptr;
    errno = 0;
    long long number = strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || errno != 0 || number < -0x80000000LL || number > 0xFFFFFFFFLL) {
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

// An option that describes an entry: it belongs to the --file before it.
// These are read here only; a new one also goes into the manifest reader
// (build_manifest.cpp), BuildFooter, the manual page and the completion.
struct EntryOption {
    const char *name;
    const char *help;
    const char *valueName;  // what the help calls its value; nullptr: a flag, taking none
    void (*set)(EntryArgument *entry, const std::string &value);
    const char *flagValue;  // a flag's one value, as --flag=VALUE ("true" without); nullptr: none
};

// In the order the help shows them.
const EntryOption EntryOptions[] = {
    {"--as", "the entry's file name (default: SOURCE's own name)", "NAME.EXT",
     [](EntryArgument *entry, const std::string &value) { entry->as = value; }, nullptr},
    {"--compress",
     "store the entry LZARI-compressed where its stream is at least 1% smaller than the file "
     "(else stored); --compress=always: compressed regardless",
     nullptr,
     [](EntryArgument *entry, const std::string &value) {
         entry->compressed = true;
         entry->keepStream = value == "always";
     },
     "always"},
    {"--stored", "store the entry as is (the default)", nullptr,
     [](EntryArgument *entry, const std::string &) {
         entry->compressed = false;
         entry->keepStream = false;
     },
     nullptr},
    {"--packed",
     "the compressed entry's packed extension (default: the extension's first two characters "
     "and '_')",
     "EXT", [](EntryArgument *entry, const std::string &value) { entry->packed = value; }, nullptr},
    {"--temp", "unpack the entry into the run's temporary folder", nullptr,
     [](EntryArgument *entry, const std::string &) { entry->temp = true; }, nullptr},
    {"--exe-folder", "unpack it beside the executable (the default)", nullptr,
     [](EntryArgument *entry, const std::string &) { entry->temp = false; }, nullptr},
};
const size_t EntryOptionCount = sizeof(EntryOptions) / sizeof(EntryOptions[0]);

// Build's inputs besides the entry options; --manifest names them all instead.
const char *const InputFlags[] = {"--launcher", "--content", "--reserved",    "--file",
                                  "--icon",     "--fast",    "--version-info"};

bool IsInputFlag(const std::string &name) {
    for (const char *flag : InputFlags) {
        if (name == flag) {
            return true;
        }
    }
    for (const EntryOption &option : EntryOptions) {
        if (name == option.name) {
            return true;
        }
    }
    return false;
}

// What build's options looked like before they are put in entry order.
struct BuildFlags {
    std::string reserved;
    std::vector<std::string> versionInfo;  // KEY=VALUE each
    std::vector<std::string> files;
    CLI::Option *file = nullptr;
    // Per row of EntryOptions: its option, and the values it was given in order.
    std::array<CLI::Option *, EntryOptionCount> entryOptions = {};
    std::array<std::vector<std::string>, EntryOptionCount> values;
};

void AddVerbosity(CLI::App *command, CommandLine *line,
                  const char *verbose = "also say what is written, and where") {
    CLI::Option *quiet = command->add_flag_callback(
        "-q,--quiet", [line] { line->verbosity = Verbosity::Quiet; }, "print errors only");
    command
        ->add_flag_callback(
            "-v,--verbose", [line] { line->verbosity = Verbosity::Verbose; }, verbose)
        ->excludes(quiet);
}

CLI::App *AddStreamCommand(CLI::App *app, CommandLine *line, const char *name,
                           const char *description, const char *footer) {
    CLI::App *command = app->add_subcommand(name, description);
    command->footer(footer);
    command->add_option("IN", line->stream.in, "the file to read")->required();
    command->add_option("OUT", line->stream.out, "the file to write; - for standard output")
        ->required();
    command->add_flag("--force", line->stream.force, "replace OUT when it exists");
    if (strcmp(name, "compress") == 0) {
        command->add_flag("--fast", line->stream.fast,
                          "the classic coder's greedy parse: about 2.5 times as fast, its very "
                          "streams, 4-7 % larger");
    }
    AddVerbosity(command, line);
    return command;
}

void AddBuildCommand(CLI::App *app, CommandLine *line, BuildFlags *flags) {
    CLI::App *build = app->add_subcommand("build", "build a presentation executable");
    build->footer(BuildFooter);
    BuildArguments &arguments = line->build;
    build->add_option("OUT", arguments.out, "the presentation executable to write")->required();
    build->add_option("--launcher", arguments.launcher, "the bare launcher image")
        ->option_text("EXE");
    build->add_option("--manifest", arguments.manifest, "take the inputs from a JSON manifest")
        ->option_text("FILE");
    build->add_option("--content", arguments.content, "the content the player reads")
        ->option_text("FILE");
    build->add_option("--reserved", flags->reserved, "the header's two reserved words (0,0)")
        ->option_text("N,M");
    build->add_option("--icon", arguments.icon, "the show's own icon (.ico), for Explorer")
        ->option_text("FILE");
    build
        ->add_option("--version-info", flags->versionInfo,
                     "a version text of the show, such as ProductName=My Show (repeatable)")
        ->option_text("KEY=VALUE")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    build->add_flag("--fast", arguments.fast,
                    "compress with the classic coder's greedy parse: about 2.5 times as fast, "
                    "4-7 % larger");
    build->add_flag("--force", arguments.force, "replace OUT when it exists");
    flags->file = build->add_option("--file", flags->files, "starts an entry: the file to embed")
                      ->option_text("SOURCE")
                      ->expected(1)
                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    for (size_t row = 0; row < EntryOptionCount; row++) {
        const EntryOption &option = EntryOptions[row];
        if (option.flagValue != nullptr) {
            flags->entryOptions[row] =
                build->add_flag(option.name, flags->values[row], option.help);
            continue;
        }
        if (option.valueName == nullptr) {
            flags->entryOptions[row] = build->add_flag(option.name, option.help);
            continue;
        }
        flags->entryOptions[row] = build->add_option(option.name, flags->values[row], option.help)
                                       ->option_text(option.valueName)
                                       ->expected(1)
                                       ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }
    AddVerbosity(build, line);
}

// Puts build's entry options in order: each belongs to the --file before it.
bool ApplyBuildFlags(const CLI::App &build, const BuildFlags &flags, BuildArguments *arguments,
                     std::string *error) {
    if (!arguments->manifest.empty()) {
        for (const CLI::Option *option : build.parse_order()) {
            const std::string name = option->get_name();
            if (IsInputFlag(name)) {
                *error = name + " cannot be combined with --manifest, which names all inputs";
                return false;
            }
        }
        return true;
    }
    if (arguments->launcher.empty()) {
        *error = "--launcher is required (or --manifest FILE)";
        return false;
    }
    if (!flags.reserved.empty() && !ParseReserved(flags.reserved, arguments->reserved)) {
        *error = "--reserved expects two 32-bit numbers, like 80,192";
        return false;
    }
    for (const std::string &text : flags.versionInfo) {
        size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0) {
            *error =
                "--version-info expects KEY=VALUE, like ProductName=My Show (got '" + text + "')";
            return false;
        }
        arguments->versionInfo.push_back({text.substr(0, equals), text.substr(equals + 1)});
    }
    std::string problem = VersionStringProblem(arguments->versionInfo);
    if (!problem.empty()) {
        *error = "--version-info: " + problem;
        return false;
    }
    size_t fileAt = 0;
    std::array<size_t, EntryOptionCount> valueAt = {};
    for (const CLI::Option *option : build.parse_order()) {
        if (option == flags.file) {
            arguments->entries.emplace_back();
            arguments->entries.back().source = flags.files.at(fileAt++);
            continue;
        }
        size_t row = 0;
        while (row < EntryOptionCount && flags.entryOptions[row] != option) {
            row++;
        }
        if (row == EntryOptionCount) {
            continue;
        }
        if (arguments->entries.empty()) {
            *error = option->get_name() + " describes an entry: put it after --file SOURCE";
            return false;
        }
        const EntryOption &entryOption = EntryOptions[row];
        bool takesValue = entryOption.valueName != nullptr || entryOption.flagValue != nullptr;
        std::string value = takesValue ? flags.values[row].at(valueAt[row]++) : std::string();
        if (entryOption.flagValue != nullptr && value != "true" && value != entryOption.flagValue) {
            *error = std::string(entryOption.name) + " takes no value but " +
                     entryOption.flagValue + " (" + entryOption.name + "=" + entryOption.flagValue +
                     "; got '" + value + "')";
            return false;
        }
        entryOption.set(&arguments->entries.back(), value);
    }
    return true;
}

void AddListCommand(CLI::App *app, CommandLine *line) {
    CLI::App *list = app->add_subcommand("list", "describe a presentation's header and entries");
    list->footer(ListFooter);
    list->add_option("FILE", line->list.path, "the presentation")->required();
    list->add_flag("--json", line->list.options.json, "print the same as JSON");
    list->add_option("--codepage", line->list.codePage,
                     "the code page of the names, for --json: 1252 (default) or 932")
        ->option_text("N");
    list->add_flag("--hashes", line->list.options.hashes,
                   "also the SHA-256 of each entry and of the content");
    // The listing is the command's output: -q keeps only the progress away,
    // and there is nothing more to say than the listing.
    list->add_flag_callback(
        "-q,--quiet", [line] { line->verbosity = Verbosity::Quiet; }, "show no progress");
}

void AddVerifyCommand(CLI::App *app, CommandLine *line) {
    CLI::App *verify =
        app->add_subcommand("verify", "check a presentation the way the launcher reads it");
    verify->footer(VerifyFooter);
    verify->add_option("FILE", line->verifyPath, "the presentation")->required();
    AddVerbosity(verify, line, "also a line per entry: what was checked");
}

void AddExtractCommand(CLI::App *app, CommandLine *line) {
    CLI::App *extract =
        app->add_subcommand("extract", "write a presentation's files and content into DIR");
    extract->footer(ExtractFooter);
    ExtractRequest &request = line->extract.request;
    extract->add_option("FILE", request.sourcePath, "the presentation")->required();
    extract->add_option("DIR", request.folder, "the folder to write into");
    extract->add_option("NAME", request.names, "only the entries of these file names");
    extract
        ->add_option("--stdout", line->extract.stdoutName,
                     "write the entry NAME to standard output instead")
        ->option_text("NAME");
    extract
        ->add_option("--manifest", request.manifest,
                     "write the build manifest to FILE (default: DIR/manifest.json)")
        ->option_text("FILE");
    extract->add_flag("--force", request.force, "replace existing files");
    AddVerbosity(extract, line);
}

int RunCompress(const CommandLine &line) {
    return Compress(line.stream, line.verbosity);
}
int RunDecompress(const CommandLine &line) {
    return Decompress(line.stream, line.verbosity);
}
int RunBuild(const CommandLine &line) {
    return Build(line.build, line.verbosity);
}
int RunList(const CommandLine &line) {
    return List(line.list, line.verbosity);
}
int RunVerify(const CommandLine &line) {
    return Verify(line.verifyPath, line.verbosity);
}
int RunExtract(const CommandLine &line) {
    return Extract(line.extract, line.verbosity);
}

// CLI11's words for a stray argument, as one line of ours.
std::string ParseErrorText(const CLI::ParseError &e) {
    std::string text = e.what();
    for (const char *prefix : {"The following argument was not expected: ",
                               "The following arguments were not expected: "}) {
        if (text.compare(0, strlen(prefix), prefix) == 0) {
            return "unexpected argument '" + text.substr(strlen(prefix)) + "'";
        }
    }
    // "Could not convert: --force = banana"
    const char convert[] = "Could not convert: ";
    size_t equals = text.find(" = ");
    if (text.compare(0, strlen(convert), convert) == 0 && equals != std::string::npos) {
        std::string option = text.substr(strlen(convert), equals - strlen(convert));
        return option + " takes no value like '" + text.substr(equals + 3) + "'" +
               (option.compare(0, 2, "--") == 0 ? " (write " + option + " alone)" : "");
    }
    size_t missing = text.find(": 1 required TEXT missing");
    if (missing != std::string::npos) {
        return text.substr(0, missing) + " needs a value";
    }
    return text;
}

// Checks what CLI11 cannot: extract's two forms, and build's entry order.
bool CheckCommand(CLI::App *app, const BuildFlags &flags, CommandLine *line, std::string *error) {
    if (line->run == RunExtract) {
        const ExtractArguments &extract = line->extract;
        if (!extract.stdoutName.empty() && !extract.request.folder.empty()) {
            *error = "--stdout writes one entry and takes no DIR or other NAME";
            return false;
        }
        if (extract.stdoutName.empty() && extract.request.folder.empty()) {
            *error = "DIR is required";
            return false;
        }
        if (!extract.request.manifest.empty() &&
            (!extract.stdoutName.empty() || !extract.request.names.empty())) {
            *error = "--manifest comes with every entry: it takes no NAME or --stdout";
            return false;
        }
    }
    if (line->run == RunList && !line->list.codePage.empty() &&
        !ParseCodePage(line->list.codePage, &line->list.options.codePage, error)) {
        *error = "--codepage: " + *error;
        return false;
    }
    if (line->run == RunBuild) {
        return ApplyBuildFlags(*app->get_subcommand("build"), flags, &line->build, error);
    }
    return true;
}

bool IsVerbosityOption(const char *argument) {
    for (const char *option : {"-q", "--quiet", "-v", "--verbose"}) {
        if (strcmp(argument, option) == 0) {
            return true;
        }
    }
    return false;
}

// Parses argv into *line. Returns -1 when a command is to run, else the exit
// status: 0 after --help or --version, 2 after a usage error.
int ParseCommandLine(int argc, char **argv, CommandLine *line) {
    CLI::App app("Builds, lists, extracts and verifies presentation executables.", "lumpack");
    app.get_formatter()->label("Usage", "usage");
    app.set_version_flag("--version", "lumpack " LUMV_VERSION);
    app.require_subcommand(1);
    app.footer("lumpack COMMAND --help shows the help of one command.");
    BuildFlags flags;
    AddBuildCommand(&app, line, &flags);
    AddListCommand(&app, line);
    AddExtractCommand(&app, line);
    AddVerifyCommand(&app, line);
    AddStreamCommand(&app, line, "compress", "compress IN into the LZARI stream OUT",
                     CompressFooter);
    AddStreamCommand(&app, line, "decompress", "decode the LZARI stream IN into OUT",
                     DecompressFooter);
    const struct {
        const char *name;
        int (*run)(const CommandLine &line);
    } runs[] = {{"build", RunBuild},   {"list", RunList},         {"extract", RunExtract},
                {"verify", RunVerify}, {"compress", RunCompress}, {"decompress", RunDecompress}};
    // "lumpack -v verify x" means "lumpack verify -v x": options that every
    // command takes may come before it, and then count as the command's.
    size_t first = 1;
    while (static_cast<int>(first) < argc && IsVerbosityOption(argv[first])) {
        first++;
    }
    std::vector<char *> ordered(argv, argv + argc);
    if (first > 1 && static_cast<int>(first) < argc && argv[first][0] != '-') {
        std::rotate(ordered.begin() + 1, ordered.begin() + static_cast<std::ptrdiff_t>(first),
                    ordered.begin() + static_cast<std::ptrdiff_t>(first) + 1);
        argv = ordered.data();
    }
    bool known = false;
    for (const auto &run : runs) {
        known = known || (argc >= 2 && strcmp(argv[1], run.name) == 0);
    }
    if (argc >= 2 && argv[1][0] != '-' && !known) {
        return UsageError("lumpack", std::string("unknown command '") + argv[1] + "'");
    }
    if (argc < 2) {
        return UsageError("lumpack", "a command is required");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::vector<CLI::App *> chosen = app.get_subcommands();
        return UsageError(chosen.empty() ? "lumpack" : "lumpack " + chosen[0]->get_name(),
                          ParseErrorText(e));
    }
    for (const auto &run : runs) {
        if (app.got_subcommand(run.name)) {
            line->command = run.name;
            line->run = run.run;
        }
    }
    std::string error;
    if (!CheckCommand(&app, flags, line, &error)) {
        return UsageError("lumpack " + line->command, error);
    }
    return -1;
}

}  // namespace

int main(int argc, char **argv) {
    // Memory running out is an error like any other: the outputs being
    // written are removed on the way out.
    try {
        // Every argument as UTF-8 (on Windows from the wide command line).
        std::vector<std::string> arguments = CommandLineArguments(argc, argv);
        std::vector<char *> pointers;
        pointers.reserve(arguments.size() + 1);
        for (std::string &argument : arguments) {
            pointers.push_back(&argument[0]);
        }
        pointers.push_back(nullptr);
        UseBinaryStandardOutput();
        CommandLine line;
        int status = ParseCommandLine(static_cast<int>(arguments.size()), pointers.data(), &line);
        if (status >= 0) {
            return status;
        }
        RemoveOutputsOnSignals();
        status = line.run(line);
        // What was printed must have arrived: a full disk is no success.
        if (fflush(stdout) != 0 || ferror(stdout) != 0) {
            (void)fprintf(stderr, "lumpack %s: writing to standard output: %s\n",
                          line.command.c_str(), strerror(errno));
            return 1;
        }
        return status;
    } catch (const std::bad_alloc &) {
        (void)fputs("lumpack: not enough memory\n", stderr);
    } catch (const std::length_error &) {
        (void)fputs("lumpack: not enough memory\n", stderr);
    } catch (const std::exception &e) {
        (void)fprintf(stderr, "lumpack: %s\n", e.what());
    }
    return 1;
}
