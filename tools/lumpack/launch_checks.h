// Whether the launcher can run a presentation, beyond unpacking it: the
// player it would load is where the launcher looks for it, a DLL of the
// launcher's machine, and exports the entry point. `lumpack build` refuses
// what fails here, `lumpack verify` reports it. Portable.
//
// Once a run has a temporary folder (the show has entries for it), the
// launcher looks for lumv.dll only there; without one it looks beside the
// executable, in its Kivox folder and in the installed player's folder, so
// a show without entries for the temporary folder may leave the player out.
#pragma once

#include <string>
#include <vector>

#include "presentation_builder.h"
#include "presentation_reader.h"

// The first reason the launcher could not run what request describes, or "":
// what it would do and what to change, naming the entry as the file numbers
// it (the exe-folder group first).
std::string LaunchProblem(const BuildRequest &request);

// The same for a presentation file, each reason added to *findings as a
// fault. True when none was found. Decodes the player library's entry when
// it is compressed; a damaged file is VerifyPresentation's to report.
bool CheckLaunch(const PayloadByteReader *reader, uint64_t size, std::vector<Finding> *findings);
