// Input files read where needed, and outputs that appear whole or not at all:
// the POSIX side.
#include "file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

namespace {

// The temporary files being written, for the signal handler: fixed slots,
// so the handler needs no allocation and no lock.
enum { OutputSlots = 64, OutputPathSize = 4096 };
char g_outputPaths[OutputSlots][OutputPathSize];
volatile sig_atomic_t g_outputUsed[OutputSlots];

int RegisterOutput(const std::string &path) {
    if (path.size() >= OutputPathSize) {
        return -1;
    }
    for (int slot = 0; slot < OutputSlots; slot++) {
        if (g_outputUsed[slot] == 0) {
            memcpy(g_outputPaths[slot], path.c_str(), path.size() + 1);
            g_outputUsed[slot] = 1;
            return slot;
        }
    }
    return -1;
}

void ReleaseOutput(int slot) {
    if (slot >= 0) {
        g_outputUsed[slot] = 0;
    }
}

void RemoveOutputsAndExit(int signalNumber) {
    for (int slot = 0; slot < OutputSlots; slot++) {
        if (g_outputUsed[slot] != 0) {
            unlink(g_outputPaths[slot]);
        }
    }
    (void)signal(signalNumber, SIG_DFL);
    (void)raise(signalNumber);
}

std::string ErrorText() {
    return strerror(errno);
}

std::string FolderOf(const std::string &path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string &path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

unsigned NewFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
}

bool WriteAll(int fd, const uint8_t *data, size_t size, std::string *error) {
    while (size > 0) {
        ssize_t wrote = write(fd, data, size);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = ErrorText();
            return false;
        }
        data += wrote;
        size -= static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

bool OpenInputFile(const std::string &path, InputFile *file, std::string *error) {
    // Non-blocking, so that a FIFO is refused rather than waited on.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = ErrorText();
        return false;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        *error = ErrorText();
        close(fd);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = S_ISDIR(status.st_mode) ? "is a folder, not a file"
                                         : "is not a regular file (a FIFO or a device)";
        close(fd);
        return false;
    }
    (void)fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file->fd = fd;
    file->size = static_cast<uint64_t>(status.st_size);
    return true;
}

void CloseInputFile(InputFile *file) {
    if (file->fd >= 0) {
        close(file->fd);
        file->fd = -1;
    }
}

bool ReadInputAt(const InputFile &file, uint64_t offset, void *buffer, size_t size,
                 std::string *error) {
    uint8_t *at = static_cast<uint8_t *>(buffer);
    while (size > 0) {
        ssize_t got = pread(file.fd, at, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *error = ErrorText();
            return false;
        }
        if (got == 0) {
            *error = "the file ended early (did it change while being read?)";
            return false;
        }
        at += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool SameFile(const std::string &a, const std::string &b) {
    struct stat first;
    struct stat second;
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void RemoveOutputsOnSignals() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = RemoveOutputsAndExit;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

bool OutputFile::Begin(const std::string &path, bool force, bool allowStdout, std::string *error) {
    Discard();
    path_ = path;
    size_ = 0;
    if (allowStdout && path == "-") {
        toStdout_ = true;
        fd_ = STDOUT_FILENO;
        return true;
    }
    struct stat status;
    mode_ = NewFileMode();
    if (lstat(path.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode)) {
            *error = S_ISLNK(status.st_mode)   ? "is a symbolic link; lumpack replaces no link"
                     : S_ISDIR(status.st_mode) ? "is a folder"
                                               : "is not a regular file (a FIFO or a device); "
                                                 "lumpack writes regular files only";
            return false;
        }
        if (!force) {
            *error = "exists; give --force to replace it";
            return false;
        }
        mode_ = status.st_mode & 07777;
    } else if (errno != ENOENT) {
        *error = ErrorText();
        return false;
    }
    std::string pattern = FolderOf(path) + "/." + NameOf(path) + ".XXXXXX";
    if (pattern.size() >= OutputPathSize) {
        *error = "the path is too long";
        return false;
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // No signal comes between the file's creation and its registration.
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&blocked, signalNumber);
    }
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    fd_ = mkostemp(name.data(), O_CLOEXEC);
    int failure = errno;
    if (fd_ >= 0) {
        temporaryPath_ = name.data();
        slot_ = RegisterOutput(temporaryPath_);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd_ < 0) {
        *error = strerror(failure);
        return false;
    }
    if (slot_ < 0) {
        *error = "too many output files at once";
        Discard();
        return false;
    }
    return true;
}

bool OutputFile::IsOpen() const {
    return fd_ >= 0;
}

bool OutputFile::WriteOut(const uint8_t *data, size_t size, std::string *error) {
    return WriteAll(fd_, data, size, error);
}

bool OutputFile::TruncateOut(uint64_t size, std::string *error) {
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
        lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) {
        *error = strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::WriteOutAt(uint64_t offset, const uint8_t *data, size_t size, std::string *error) {
    while (size > 0) {
        ssize_t written = pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            *error = written < 0 ? strerror(errno) : "nothing was written";
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

bool OutputFile::Commit(std::string *error) {
    if (fd_ < 0) {
        *error = "not open";
        return false;
    }
    if (!Flush(error)) {
        Discard();
        return false;
    }
    if (toStdout_) {
        fd_ = -1;
        toStdout_ = false;
        return true;
    }
    bool ok = fchmod(fd_, static_cast<mode_t>(mode_)) == 0;
    if (!ok) {
        *error = ErrorText();
    }
    int closed = close(fd_);
    fd_ = -1;
    if (ok && closed != 0) {
        *error = ErrorText();
        ok = false;
    }
    if (ok && rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
        *error = ErrorText();
        ok = false;
    }
    if (!ok) {
        Discard();
        return false;
    }
    ReleaseOutput(slot_);
    slot_ = -1;
    temporaryPath_.clear();
    return true;
}

void OutputFile::Discard() {
    buffer_.clear();
    if (toStdout_) {
        fd_ = -1;
        toStdout_ = false;
        return;
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temporaryPath_.empty()) {
        unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
    ReleaseOutput(slot_);
    slot_ = -1;
}

PathKind KindOfPath(const std::string &path, bool followLinks) {
    struct stat status;
    int found = followLinks ? stat(path.c_str(), &status) : lstat(path.c_str(), &status);
    if (found != 0) {
        return PathKind::Missing;
    }
    return S_ISREG(status.st_mode)   ? PathKind::File
           : S_ISDIR(status.st_mode) ? PathKind::Folder
                                     : PathKind::Other;
}

bool MakeFolder(const std::string &path, std::string *error) {
    if (mkdir(path.c_str(), 0777) != 0) {
        *error = ErrorText();
        return false;
    }
    return true;
}

void RemoveFolder(const std::string &path) {
    (void)rmdir(path.c_str());
}

void RemoveFile(const std::string &path) {
    (void)unlink(path.c_str());
}

bool IsPathSeparator(char c) {
    return c == '/';
}

size_t PathRootSize(const std::string &path) {
    return !path.empty() && path[0] == '/' ? 1 : 0;
}

std::string AbsolutePath(const std::string &path) {
    if (PathRootSize(path) > 0) {
        return path;
    }
    std::vector<char> folder(4096);
    while (getcwd(folder.data(), folder.size()) == nullptr) {
        if (errno != ERANGE) {
            return path;
        }
        folder.resize(folder.size() * 2);
    }
    std::string absolute = folder.data();
    return absolute + (absolute.back() == '/' ? "" : "/") + path;
}

std::vector<std::string> CommandLineArguments(int argc, char **argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseBinaryStandardOutput() {}

bool StandardErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}
