// Files for the command-line tool: inputs opened once and read where needed,
// and outputs that appear whole or not at all, and the few folder calls the
// tool needs. Paths are UTF-8 everywhere; file_io.cpp holds what every
// system shares, file_io_posix.cpp the rest for POSIX systems and
// file_io_win.cpp for Windows (wide paths, the W calls).
//
// An output is written to a new, uniquely named file beside its final name
// (".NAME.XXXXXX", created exclusively, never through a link) and renamed
// into place when complete. Until then it is registered for removal: a
// failed run removes it, and so does SIGINT or SIGTERM (see
// RemoveOutputsOnSignals), so no partial file is ever left behind. On
// Windows the same holds for Ctrl+C, Ctrl+Break and closing the console.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "payload/payload_format.h"

struct InputFile;
void CloseInputFile(InputFile *file);  // at most once closes it; safe to call again

// A regular file opened for reading, with its size as it was when opened;
// closed when it goes out of scope.
struct InputFile {
#ifdef _WIN32
    void *handle = nullptr;  // a HANDLE; null when closed
#else
    int fd = -1;
#endif
    uint64_t size = 0;

    InputFile() = default;
    ~InputFile() {
        CloseInputFile(this);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;
};

// Opens path for reading. Refuses what is not a regular file (a folder, a
// FIFO, a device), so that sizes are known before anything is read. On
// failure *error says why (without the path).
bool OpenInputFile(const std::string &path, InputFile *file, std::string *error);

// Reads exactly size bytes at offset; false at the file's end or on an error.
bool ReadInputAt(const InputFile &file, uint64_t offset, void *buffer, size_t size,
                 std::string *error);

// A PayloadByteReader over an input file of at most 4 GiB - 1 bytes.
struct FileByteReader {
    PayloadByteReader reader;  // first, so the callback can get back to the file
    const InputFile *file;
};

FileByteReader MakeFileByteReader(const InputFile *file);

// Reads the whole file; on failure *error says why. For small inputs only:
// callers check the size first.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error);

// True when a and b name the same existing file (hard links included).
bool SameFile(const std::string &a, const std::string &b);

// Installs handlers for SIGINT, SIGTERM and SIGHUP (on Windows: the console's
// control events) that remove every output still being written and then end
// the process as the signal would.
void RemoveOutputsOnSignals();

// What a path names. followLinks: a symbolic link (on Windows any reparse
// point) counts as what it points to; otherwise it is Other.
enum class PathKind { Missing, File, Folder, Other };
PathKind KindOfPath(const std::string &path, bool followLinks);

// A new folder; on failure *error says why (without the path).
bool MakeFolder(const std::string &path, std::string *error);
// Remove an empty folder or a file, as far as possible; for taking back
// what a failed run created.
void RemoveFolder(const std::string &path);
void RemoveFile(const std::string &path);

// '/', and on Windows the backslash too.
bool IsPathSeparator(char c);
// How many leading characters of path name a root, which is never created:
// "/" here; on Windows also a drive ("C:" or "C:\") or a share
// ("\\server\share\"). 0 for a relative path.
size_t PathRootSize(const std::string &path);

// path from the root: as it is when rooted, else below the current folder
// (on Windows as GetFullPathName makes it). Unchanged when that fails.
std::string AbsolutePath(const std::string &path);

// The program's arguments as UTF-8: argv as given, or on Windows the wide
// command line converted, so that every name arrives whole.
std::vector<std::string> CommandLineArguments(int argc, char **argv);
// Standard output as raw bytes (Windows translates line ends otherwise).
void UseBinaryStandardOutput();
// True when standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

// One output file. Begin checks the destination and creates the temporary
// file; Write appends; Commit puts the file in place; anything else (Discard,
// a failed step, the destructor) removes the temporary file and leaves the
// destination as it was.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // path: the destination. An existing destination is replaced only with
    // force, and only when it is a regular file (never a link, a folder, a
    // FIFO or a device); the new file keeps its permission bits, a new one
    // gets 0666 less the umask. With allowStdout, "-" means standard output,
    // written straight through (Commit then only flushes). On failure *error
    // says why (without the path).
    bool Begin(const std::string &path, bool force, bool allowStdout, std::string *error);
    bool Write(const void *data, size_t size, std::string *error);
    bool Commit(std::string *error);
    void Discard();
    // For a file (not standard output): forget what was written after its
    // first size bytes, writing on from there; and write over bytes already
    // written (offset + size at most size()). A failure discards the file.
    bool Rewind(uint64_t size, std::string *error);
    bool WriteAt(uint64_t offset, const void *data, size_t size, std::string *error);

    const std::string &path() const { return path_; }
    uint64_t size() const { return size_; }  // bytes written so far

private:
    bool Flush(std::string *error);
    // The system's side: whether a file or standard output is open, and
    // writing straight to it.
    bool IsOpen() const;
    bool WriteOut(const uint8_t *data, size_t size, std::string *error);
    bool TruncateOut(uint64_t size, std::string *error);
    bool WriteOutAt(uint64_t offset, const uint8_t *data, size_t size, std::string *error);

    std::string path_;
    std::string temporaryPath_;
#ifdef _WIN32
    void *handle_ = nullptr;  // a HANDLE; null when closed
#else
    int fd_ = -1;
    unsigned mode_ = 0;
#endif
    int slot_ = -1;  // in the signal handler's list
    bool toStdout_ = false;
    uint64_t size_ = 0;
    std::vector<uint8_t> buffer_;
};

// Writes data to path as one OutputFile.
bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, bool force,
                    std::string *error);
