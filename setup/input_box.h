// The input box: a small modal window that asks for one line of text, with a prompt, an
// edit box, OK and Cancel. OK (or Enter) returns the text as typed; Cancel, Escape and the
// close box return the empty text.
#pragma once

#include <string>

namespace ferrolin {

std::wstring InputBox(const std::wstring& prompt, const wchar_t* title, const std::wstring& defaultText);

}  // namespace ferrolin
