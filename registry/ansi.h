// Texts are wide inside the programs and cross the system boundary through the wide entry
// points. The ANSI code page remains where a stored form is defined by it: the status
// encoding, and what a client reads of a text value as bytes. These conversions belong to
// the registry layer and the install record; nothing outside them includes this file.
#pragma once

#include <string>

namespace ferrolin {

// Wide text to the system ANSI code page (characters it lacks become '?').
std::string ToAnsi(const std::wstring& text);
// ANSI bytes back to wide text.
std::wstring FromAnsi(const char* bytes, size_t count);
inline std::wstring FromAnsi(const std::string& bytes) { return FromAnsi(bytes.data(), bytes.size()); }

}  // namespace ferrolin
