// Showing names taken from a presentation or a request in messages: bytes
// that are not printable ASCII appear as \xNN, so a damaged or hostile name
// can neither hide nor upset the terminal. Portable.
#pragma once

#include <string>

std::string PrintableText(const std::string &text);
