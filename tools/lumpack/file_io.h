// Whole-file reading and all-or-nothing writing for the command-line tool.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Reads the whole file; on failure *error says why.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> *data, std::string *error);

// The first half of WriteWholeFile: writes data to a temporary file beside
// path and names it in *partialPath. The caller renames it into place with
// CommitPartialFile or removes it; on failure nothing is left.
bool WritePartialFile(const std::string &path, const std::vector<uint8_t> &data,
                      std::string *partialPath, std::string *error);

// Renames the partial file over path; on failure the partial file is removed.
bool CommitPartialFile(const std::string &partialPath, const std::string &path, std::string *error);

// Writes data to a temporary file beside path and renames it into place, so
// path is either the complete new file or untouched; nothing half-written
// is ever left behind.
bool WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data, std::string *error);
