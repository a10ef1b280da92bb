// `lumpack build`: the inputs checked and read as the arguments name them
// (from flags or a manifest), the presentation built and written.
#pragma once

#include "build_arguments.h"
#include "command_messages.h"

// Builds the presentation arguments describe, taking the inputs from
// arguments.manifest when one is named, and writes it to arguments.out whole
// or not at all. Returns the exit status: 0, or 1 with the fault printed.
int Build(const BuildArguments &arguments, Verbosity verbosity);
