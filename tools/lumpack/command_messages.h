// What lumpack's commands tell the user: errors on standard error, how much
// else they say (-q, -v), and progress while a long step runs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// -q: errors only; -v: also what is written, and where.
enum class Verbosity { Quiet, Normal, Verbose };

// True when a command is to print what it prints on success (all but -q).
bool Talk(Verbosity verbosity);

// Says where a file was written and how large it is, with -v only.
void TellWritten(Verbosity verbosity, const std::string &path, uint64_t size);

// Prints "lumpack: PATH: WHY"; returns 1, the exit status of a failure.
int Fail(const std::string &path, const std::string &why);

// Prints a usage error: one line naming the problem and where help is.
// Returns 2, the exit status of a usage error.
int UsageError(const std::string &command, const std::string &why);

// A progress callback: "VERB: NN%" on standard error, context being the
// verb (a char string), ended with a newline when done reaches total.
void ShowProgress(void *context, size_t done, size_t total);

// True when progress is to be shown for a step over size bytes: only where
// someone watches (standard error is a terminal), and only when it takes a
// while.
bool WorthShowingProgress(size_t size);
