// Running the lumpack tool in a scratch folder of its own: exit code, what it
// printed, and the files it left.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_io.h"

struct CliResult {
    int exitCode;
    std::string out;
    std::string err;
};

class LumpackCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lumpack-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { system(("rm -rf '" + folder_ + "'").c_str()); }

    std::string Path(const std::string &name) const { return folder_ + "/" + name; }

    // The arguments as one shell word list; paths are quoted by the caller.
    CliResult Run(const std::string &arguments) const {
        std::string command = std::string("'") + LUMV_LUMPACK_PATH + "' " + arguments + " >'" +
                              Path(".stdout") + "' 2>'" + Path(".stderr") + "' </dev/null";
        int status = system(command.c_str());
        CliResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadText(Path(".stdout"));
        result.err = ReadText(Path(".stderr"));
        unlink(Path(".stdout").c_str());
        unlink(Path(".stderr").c_str());
        return result;
    }

    static std::string ReadText(const std::string &path) {
        std::vector<uint8_t> data;
        std::string error;
        ReadWholeFile(path, &data, &error);
        return std::string(data.begin(), data.end());
    }

    void Write(const std::string &name, const std::string &text) const {
        WriteBytes(name, std::vector<uint8_t>(text.begin(), text.end()));
    }

    void WriteBytes(const std::string &name, const std::vector<uint8_t> &bytes) const {
        std::string error;
        ASSERT_TRUE(WriteWholeFile(Path(name), bytes, true, &error)) << error;
    }

    // The names in the scratch folder (or a folder below it), sorted.
    std::vector<std::string> Files(const std::string &below = "") const {
        std::vector<std::string> names;
        DIR *dir = opendir(below.empty() ? folder_.c_str() : Path(below).c_str());
        if (dir == nullptr) {
            return names;
        }
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    static size_t Lines(const std::string &text) {
        return size_t(std::count(text.begin(), text.end(), '\n'));
    }

    std::string folder_;
};
