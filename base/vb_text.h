// VB's rules for text that the programs apply to what users type and the registry holds.
#pragma once

#include <string>

namespace ferrolin {

// Text without leading and trailing blanks (VB's Trim: spaces only).
std::wstring TrimBlanks(const std::wstring& text);
// VB's UCase.
std::wstring ToUpper(const std::wstring& text);

}  // namespace ferrolin
