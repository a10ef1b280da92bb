// What lumpack's commands tell the user. Each command is handed its
// verbosity; nothing here keeps any state.
#include "command_messages.h"

#include <stdio.h>

#include "display_text.h"
#include "file_io.h"

bool Talk(Verbosity verbosity) {
    return verbosity != Verbosity::Quiet;
}

void TellWritten(Verbosity verbosity, const std::string &path, uint64_t size) {
    if (verbosity == Verbosity::Verbose) {
        (void)fprintf(stderr, "lumpack: wrote %s (%llu bytes)\n", PrintableText(path).c_str(),
                      static_cast<unsigned long long>(size));
    }
}

int Fail(const std::string &path, const std::string &why) {
    (void)fprintf(stderr, "lumpack: %s: %s\n", path.c_str(), why.c_str());
    return 1;
}

int UsageError(const std::string &command, const std::string &why) {
    (void)fprintf(stderr, "%s: %s (see %s --help)\n", command.c_str(), why.c_str(),
                  command.c_str());
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

bool WorthShowingProgress(size_t size) {
    return StandardErrorIsTerminal() && size >= (4u << 20);
}
