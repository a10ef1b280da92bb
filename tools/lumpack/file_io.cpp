// Whole-file reading and all-or-nothing writing for the command-line tool.
#include "file_io.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = strerror(errno);
        return false;
    }
    data->clear();
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        data->insert(data->end(), buffer, buffer + got);
    }
    bool ok = !ferror(file);
    if (!ok) {
        *error = strerror(errno);
    }
    (void)fclose(file);  // read only: nothing is lost when closing fails
    return ok;
}

bool WritePartialFile(const std::string &path, const std::vector<uint8_t> &data,
                      std::string *partialPath, std::string *error) {
    *partialPath = path + ".lumpack-partial";
    FILE *file = fopen(partialPath->c_str(), "wb");
    if (file == nullptr) {
        *error = strerror(errno);
        return false;
    }
    bool ok = data.empty() || fwrite(data.data(), 1, data.size(), file) == data.size();
    if (!ok) {
        *error = strerror(errno);
    }
    if (fclose(file) != 0 && ok) {
        *error = strerror(errno);
        ok = false;
    }
    if (!ok) {
        unlink(partialPath->c_str());
    }
    return ok;
}

bool CommitPartialFile(const std::string &partialPath, const std::string &path,
                       std::string *error) {
    if (rename(partialPath.c_str(), path.c_str()) != 0) {
        *error = strerror(errno);
        unlink(partialPath.c_str());
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, std::string *error) {
    std::string partialPath;
    return WritePartialFile(path, data, &partialPath, error) &&
           CommitPartialFile(partialPath, path, error);
}
