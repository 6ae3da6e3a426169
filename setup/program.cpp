#include "program.h"

#include "names.h"

namespace ferrolin {

void EndProgram() {
    ExitProcess(0);
}

int MsgBox(const std::wstring& text, UINT buttonsAndIcon, const wchar_t* title) {
    return MessageBoxW(GetActiveWindow(), text.c_str(), title, buttonsAndIcon | MB_SETFOREGROUND);
}

std::wstring RuntimeErrorText(const VbError& error) {
    return L"Run-time error '" + std::to_wstring(error.number()) + L"':\r\r" + error.description();
}

void StopWithRuntimeError(const VbError& error) {
    MsgBox(RuntimeErrorText(error), MB_OK | MB_ICONERROR, kMessageTitle);
    EndProgram();
}

}  // namespace ferrolin
