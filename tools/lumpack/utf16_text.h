// Text between UTF-8, as lumpack takes and prints it, and UTF-16, as
// Windows resources hold it. Portable.
#pragma once

#include <string>

// text as UTF-16 (characters beyond U+FFFF as surrogate pairs). False when
// text is not valid UTF-8: a stray or missing continuation byte, an overlong
// form, a surrogate code point or one beyond U+10FFFF; *out is then unusable.
bool Utf8ToUtf16(const std::string &text, std::u16string *out);

// units as UTF-8. Never fails: an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string &units);
