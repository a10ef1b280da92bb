// A build kept in a file, so that it can live under version control:
// `lumpack build OUT --manifest FILE` takes the launcher, the content, the
// reserved words and the entries from a JSON object instead of from flags.
// Host only.
//
//   {"launcher": "launcher.exe", "content": "show.lvc", "reserved": [80, 192],
//    "entries": [{"file": "lumv.dll", "compress": true, "temp": true},
//                {"file": "docs/readme.txt", "as": "readme.txt"},
//                {"file": "x.dat", "compress": true, "packed": "xd_"}]}
//
// "launcher" is required; "content" (default: none), "reserved" (two 32-bit
// numbers, -2147483648 to 4294967295; default [0, 0]), "icon" (an .ico
// file), "versionInfo" (an object of version texts, {"ProductName": "My
// Show"}, as --version-info takes them) and "entries" (default: none) are
// optional. An entry needs "file"; "as" and "packed" are non-empty
// strings, "compress" and "temp" true or false (default false), just as the
// flags --as, --packed, --compress and --temp. Paths are relative to the
// manifest's own folder; absolute ones stay as they are.
//
// Strict: an unknown or repeated key, a value of the wrong type, an empty
// string or one holding a NUL character is an error, never ignored.
#pragma once

#include <string>

#include "build_arguments.h"

// Reads the manifest at path into *arguments: launcher, content, reserved
// words, icon, version texts and entries; out, force and manifest are left alone, and so is
// everything else when it fails. On failure *error names the manifest and
// where in it the fault lies ("show.json: entries[2].compress: expected true
// or false (got a string)"; entries count from 0 there), or for text that is
// not JSON the line and column ("show.json: line 3, column 7: not valid
// JSON: ...").
bool ReadBuildManifest(const std::string &path, BuildArguments *arguments, std::string *error);
