// The version resource (VS_VERSIONINFO) of an executable: building one from
// key/value texts, with the fixed file and product versions taken from the
// texts, and reading one back from untrusted bytes. Portable.
//
// The block is a tree of nodes, each wLength, wValueLength, wType, a UTF-16
// key with its terminator, padding to a 32-bit boundary, the value, padding,
// then the children: VS_VERSION_INFO (value VS_FIXEDFILEINFO) holds
// StringFileInfo, which holds one StringTable keyed by language and code page
// ("040904B0"), which holds the strings; and VarFileInfo, which holds the
// Var "Translation" (language, code page).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct VersionString {
    std::string key;    // one of the standard keys (see VersionStringProblem)
    std::string value;  // UTF-8
};

// The code page of the string tables written here: UTF-16.
const uint16_t VersionUnicodeCodePage = 1200;
// The language when nothing else gives one: U.S. English.
const uint16_t VersionDefaultLanguage = 0x0409;

// Why strings cannot make a version resource, or "": a key that is not one of
// Comments, CompanyName, FileDescription, FileVersion, InternalName,
// LegalCopyright, LegalTrademarks, OriginalFilename, PrivateBuild,
// ProductName, ProductVersion, SpecialBuild (exactly so written; the message
// lists them), a key given twice, an empty value, a value that is not UTF-8 or
// holds a NUL, a FileVersion or ProductVersion whose leading number is over
// 65535, or more text than the 64 KiB block can hold. The message names the
// key.
std::string VersionStringProblem(const std::vector<VersionString> &strings);

// The leading dotted numbers of a version text, missing parts 0: "1.2.3.4"
// gives 1.2.3.4, "2.1 beta" 2.1.0.0, "3" 3.0.0.0; at most four parts are
// read. False when the text does not start with a digit or a part is over
// 65535.
bool ParseDottedVersion(const std::string &text, uint16_t parts[4]);

// Builds the block holding exactly strings, in the order given, in one string
// table for language and code page 1200, and the translation (language,
// 1200). The fixed versions come from FileVersion and ProductVersion (see
// ParseDottedVersion); where one is missing or has no number it takes the
// other's, else 0.0.0.0. FileFlagsMask 0x3F, FileOS VOS_NT_WINDOWS32,
// FileType VFT_APP. Returns "" or why not (see VersionStringProblem).
std::string BuildVersionResource(const std::vector<VersionString> &strings, uint16_t language,
                                 std::vector<uint8_t> *block);

// What a version resource holds.
struct VersionInfo {
    bool hasFixedInfo = false;  // VS_FIXEDFILEINFO present with its signature
    uint16_t fileVersion[4] = {0, 0, 0, 0};
    uint16_t productVersion[4] = {0, 0, 0, 0};
    std::string tableKey;  // the first string table's key, "040904B0"; empty without one
    std::vector<VersionString> strings;  // the first string table's, in order, as UTF-8
    bool hasTranslation = false;
    uint16_t language = 0;  // the first translation
    uint16_t codePage = 0;
};

// Reads a version resource's block. Every length is checked against the
// node around it; strings are read up to their terminator (or their node's
// end), unpaired surrogates as U+FFFD. False, with *error saying where, when
// the root is cut short, is not VS_VERSION_INFO, or a node runs past its
// parent.
bool ParseVersionResource(const uint8_t *data, size_t size, VersionInfo *info, std::string *error);
