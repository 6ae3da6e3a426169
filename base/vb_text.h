// VB's rules for text that the programs apply to what users type and the registry holds.
#pragma once

#include <string>

namespace ferrolin {

// Text without leading and trailing blanks (VB's Trim: spaces only).
std::wstring TrimBlanks(const std::wstring& text);
// VB's UCase and LCase.
std::wstring ToUpper(const std::wstring& text);
std::wstring ToLower(const std::wstring& text);
// VB's Val: the leading decimal number of a text (optional blanks, digits, an optional
// period and more digits); 0 when no digit leads. Digits are ASCII ones: other scripts'
// digits end the number.
double LeadingNumber(const std::wstring& text);

}  // namespace ferrolin
