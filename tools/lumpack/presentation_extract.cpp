// Unpacking a presentation into a folder, all or nothing.
#include "presentation_extract.h"

#include <memory>

#include "display_text.h"
#include "extract_manifest.h"
#include "file_io.h"
#include "file_name_rules.h"

const char ExtractTempFolderName[] = "TempFolder";
const char ExtractContentFileName[] = "content";
const char ExtractLauncherFileName[] = "launcher";
const char ExtractManifestFileName[] = "manifest.json";

namespace {

const size_t ContentTarget = static_cast<size_t>(-1);
const size_t LauncherTarget = static_cast<size_t>(-2);
const size_t ManifestTarget = static_cast<size_t>(-3);

struct Target {
    std::string relative;  // below the folder, '/'-separated
    std::string label;     // for messages: "entry 2 (lumv.dll)" or "the content"
    size_t entry;          // its index, or one of the targets above
    std::string path;      // where it goes: the folder's relative, or the manifest's own
    std::string text;      // the manifest's
};

Target MakeTarget(const std::string &folder, const std::string &relative, const std::string &label,
                  size_t entry) {
    Target target;
    target.relative = relative;
    target.label = label;
    target.entry = entry;
    target.path = folder + "/" + relative;
    return target;
}

// What this run created, so a failure can take it all back.
struct Undo {
    std::vector<std::string> folders;  // in creation order
    std::vector<std::string> fresh;    // renamed into place where nothing was before
};

void Rollback(const Undo &undo) {
    for (const std::string &path : undo.fresh) {
        RemoveFile(path);
    }
    for (size_t i = undo.folders.size(); i > 0; i--) {
        RemoveFolder(undo.folders[i - 1]);
    }
}

// name.ext with either separator as '/' and repeated separators folded, so
// two spellings of one file compare equal.
std::string RelativePath(const EntryInfo &entry) {
    std::string path;
    for (char c : EntryFileName(entry)) {
        if (c == '\\' || c == '/') {
            if (!path.empty() && path.back() == '/') {
                continue;
            }
            c = '/';
        }
        path += c;
    }
    return path;
}

bool CollectTargets(const PayloadByteReader *reader, const Presentation &p,
                    const ExtractRequest &request, std::vector<Target> *targets,
                    std::string *error) {
    for (size_t i = 0; i < p.entries.size(); i++) {
        const EntryInfo &entry = p.entries[i];
        if (!entry.terminated ||
            !EntryFileNameIsSafe(entry.name.c_str(), entry.outputExtension.c_str())) {
            *error = EntryLabel(entry) + ": its name is unterminated or would leave the folder";
            return false;
        }
        std::string relative =
            (entry.tempGroup ? std::string(ExtractTempFolderName) + "/" : "") + RelativePath(entry);
        targets->push_back(MakeTarget(request.folder, relative, EntryLabel(entry), i));
    }
    targets->push_back(
        MakeTarget(request.folder, ExtractContentFileName, "the content", ContentTarget));
    if (!request.names.empty() || request.manifest.empty()) {
        return true;
    }
    targets->push_back(
        MakeTarget(request.folder, ExtractLauncherFileName, "the launcher image", LauncherTarget));
    Target manifest =
        MakeTarget(request.folder, ExtractManifestFileName, "the build manifest", ManifestTarget);
    manifest.path = request.manifest;
    if (!request.manifestRelative) {
        manifest.relative = "";  // not in the folder, or named by its absolute path
    }
    std::string folder = AbsolutePath(request.folder);
    manifest.text = ExtractManifestText(
        reader, p,
        request.manifestRelative ? "" : folder + (IsPathSeparator(folder.back()) ? "" : "/"));
    targets->push_back(std::move(manifest));
    return true;
}

// Keeps the targets of the named entries; every name must match one.
bool SelectTargets(const Presentation &p, const std::vector<std::string> &names,
                   std::vector<Target> *targets, std::string *error) {
    if (names.empty()) {
        return true;
    }
    std::vector<Target> chosen;
    for (const std::string &name : names) {
        size_t index = 0;
        if (!FindEntryNamed(p, name, &index, error)) {
            return false;
        }
        for (const Target &target : *targets) {
            if (target.entry == index) {
                chosen.push_back(target);
            }
        }
    }
    *targets = std::move(chosen);
    return true;
}

bool CheckDistinct(const std::vector<Target> &targets, std::string *error) {
    for (size_t i = 0; i < targets.size(); i++) {
        for (size_t j = i + 1; j < targets.size(); j++) {
            if (!targets[i].relative.empty() &&
                FileNameKey(targets[i].relative) == FileNameKey(targets[j].relative)) {
                *error = targets[i].label + " and " + targets[j].label +
                         " would both be written to " + PrintableText(targets[i].relative);
                return false;
            }
        }
    }
    return true;
}

// An existing target may be replaced only with force, and never when it is a
// folder, a link (rename would replace the link, not what it points to, but
// the user surely meant neither) or the presentation being read.
bool CheckTarget(const std::string &path, const ExtractRequest &request, std::string *error) {
    PathKind kind = KindOfPath(path, false);
    if (kind == PathKind::Missing) {
        return true;
    }
    if (kind == PathKind::File && SameFile(path, request.sourcePath)) {
        *error = PrintableText(path) + ": is the presentation being extracted";
        return false;
    }
    if (kind != PathKind::File) {
        *error = PrintableText(path) + ": exists and is not a plain file";
        return false;
    }
    if (!request.force) {
        *error = PrintableText(path) + ": exists (--force replaces it)";
        return false;
    }
    return true;
}

// Makes sure path is a folder, creating it (and recording that) when
// missing. Below the destination, existing links are refused so nothing is
// written outside it.
bool EnsureFolder(const std::string &path, bool followLinks, Undo *undo, std::string *error) {
    PathKind kind = KindOfPath(path, followLinks);
    if (kind == PathKind::Folder) {
        return true;
    }
    if (kind != PathKind::Missing) {
        *error = PrintableText(path) + ": exists and is not a folder";
        return false;
    }
    std::string why;
    if (!MakeFolder(path, &why)) {
        *error = PrintableText(path) + ": " + why;
        return false;
    }
    undo->folders.push_back(path);
    return true;
}

size_t FindSeparator(const std::string &path, size_t from) {
    for (size_t at = from; at < path.size(); at++) {
        if (IsPathSeparator(path[at])) {
            return at;
        }
    }
    return std::string::npos;
}

// The destination and its missing parents, like mkdir -p; its root (a drive
// or share on Windows) is taken as given.
bool EnsureDestination(const std::string &folder, Undo *undo, std::string *error) {
    size_t root = PathRootSize(folder);
    for (size_t at = FindSeparator(folder, root > 1 ? root : 1); at != std::string::npos;
         at = FindSeparator(folder, at + 1)) {
        if (!EnsureFolder(folder.substr(0, at), true, undo, error)) {
            return false;
        }
    }
    return EnsureFolder(folder, true, undo, error);
}

bool EnsureParents(const std::string &folder, const std::string &relative, Undo *undo,
                   std::string *error) {
    for (size_t at = relative.find('/'); at != std::string::npos; at = relative.find('/', at + 1)) {
        if (!EnsureFolder(folder + "/" + relative.substr(0, at), false, undo, error)) {
            return false;
        }
    }
    return true;
}

bool WriteToOutput(void *context, const uint8_t *bytes, size_t size, std::string *error) {
    OutputFile *output = static_cast<OutputFile *>(context);
    if (output->Write(bytes, size, error)) {
        return true;
    }
    *error = PrintableText(output->path()) + ": " + *error;
    return false;
}

// The target's bytes, streamed into its output.
bool WriteTarget(const PayloadByteReader *reader, const Presentation &p, const Target &target,
                 OutputFile *output, std::string *error) {
    if (target.entry == ContentTarget) {
        return CopyContent(reader, p, WriteToOutput, output, error);
    }
    if (target.entry == LauncherTarget) {
        return CopyLauncherImage(reader, p, WriteToOutput, output, error);
    }
    if (target.entry == ManifestTarget) {
        return WriteToOutput(output, reinterpret_cast<const uint8_t *>(target.text.data()),
                             target.text.size(), error);
    }
    return CopyEntryData(reader, p, target.entry, WriteToOutput, output, error);
}

bool WriteTargets(const PayloadByteReader *reader, const Presentation &p,
                  const std::vector<Target> &targets, const ExtractRequest &request,
                  std::vector<std::string> *written, Undo *undo, std::string *error) {
    // Each file is written beside its final name; the outputs not yet
    // committed are removed when this returns early.
    std::vector<std::unique_ptr<OutputFile>> outputs;
    std::vector<bool> existed;
    for (const Target &target : targets) {
        const std::string &path = target.path;
        if (!EnsureParents(request.folder, target.relative, undo, error) ||
            !CheckTarget(path, request, error)) {
            return false;
        }
        existed.push_back(KindOfPath(path, true) != PathKind::Missing);
        outputs.emplace_back(new OutputFile);
        if (!outputs.back()->Begin(path, request.force, false, error)) {
            *error = PrintableText(path) + ": " + *error;
            return false;
        }
        if (!WriteTarget(reader, p, target, outputs.back().get(), error)) {
            return false;
        }
    }
    for (size_t i = 0; i < outputs.size(); i++) {
        const std::string &path = outputs[i]->path();
        if (!outputs[i]->Commit(error)) {
            *error = PrintableText(path) + ": " + *error;
            return false;
        }
        if (!existed[i]) {
            undo->fresh.push_back(path);
        }
        written->push_back(path);
    }
    return true;
}

}  // namespace

bool FindEntryNamed(const Presentation &presentation, const std::string &name, size_t *index,
                    std::string *error) {
    bool found = false;
    for (size_t i = 0; i < presentation.entries.size(); i++) {
        const EntryInfo &entry = presentation.entries[i];
        if (!entry.terminated || FileNameKey(EntryFileName(entry)) != FileNameKey(name)) {
            continue;
        }
        if (found) {
            *error = "two entries are named " + PrintableText(name) +
                     " (one beside the executable, one for the temporary folder)";
            return false;
        }
        found = true;
        *index = i;
    }
    if (!found) {
        *error = "no entry is named " + PrintableText(name) + " (lumpack list shows the names)";
    }
    return found;
}

bool ExtractPresentation(const PayloadByteReader *reader, const Presentation &presentation,
                         const ExtractRequest &request, std::vector<std::string> *written,
                         std::string *error) {
    written->clear();
    std::vector<Target> targets;
    if (!CollectTargets(reader, presentation, request, &targets, error) ||
        !SelectTargets(presentation, request.names, &targets, error) ||
        !CheckDistinct(targets, error)) {
        return false;
    }
    // Every existing file is looked at before anything is created.
    for (const Target &target : targets) {
        if (!CheckTarget(target.path, request, error)) {
            return false;
        }
    }
    Undo undo;
    if (!EnsureDestination(request.folder, &undo, error) ||
        !WriteTargets(reader, presentation, targets, request, written, &undo, error)) {
        Rollback(undo);
        written->clear();
        return false;
    }
    return true;
}
