// A small program that hosts setup's windows and operations for the tests, so that what
// shows modal pages or ends the program runs in a process of its own, driven from the
// test through its windows. Never shipped.
//
//   setup_host show FORM                    shows the form modally (frmWizard4, frmWizard1,
//                                           frmWizard2, frmEnd)
//   setup_host remove-from-excel FORM       shows the terms page, then prcRemoveFromExcel
//                                           with FORM as the next page
//   setup_host add-to-excel TITLE           shows the finishing window, then prcAddToExcel
//   setup_host default-folder OUTFILE       writes GetDefaultFolder's result (UTF-8)
//   setup_host send-mail ADDRESS            prcSendMail
//   setup_host hold FILE                    holds FILE open without delete sharing until
//                                           its window "setup_host hold" is closed
//
// Exit codes: kExitReturned when the operation returned, setup's own code when the program
// ended itself (EndProgram: 0 after the final message), 2 for a bad command line.
#include <windows.h>
#include <shellapi.h>

#include <map>
#include <string>

#include "excel.h"
#include "frmEnd.h"
#include "frmWizard1.h"
#include "frmWizard2.h"
#include "frmWizard4.h"
#include "handles.h"
#include "program.h"
#include "setup_host.h"

namespace {

using namespace ferrolin;

Form* FormNamed(const std::wstring& name) {
    static const std::map<std::wstring, Form*> forms = {
        {L"frmWizard4", &frmWizard4},
        {L"frmWizard1", &frmWizard1},
        {L"frmWizard2", &frmWizard2},
        {L"frmEnd", &frmEnd},
    };
    auto it = forms.find(name);
    return it == forms.end() ? nullptr : it->second;
}

bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    unique_handle file = adopt_file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

LRESULT CALLBACK HoldWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

int Hold(const std::wstring& path) {
    unique_handle file = adopt_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 2;
    WNDCLASSW wc{};
    wc.lpfnWndProc = HoldWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"SetupHostHold";
    RegisterClassW(&wc);
    CreateWindowW(wc.lpszClassName, setup_host::kHoldCaption, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                  nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return setup_host::kExitReturned;
}

int Run(const std::wstring& command, const std::wstring& argument) {
    if (command == L"hold") return Hold(argument);
    if (command == L"show") {
        Form* form = FormNamed(argument);
        if (!form) return 2;
        RunProcedure([&] { form->Show(true); });
    } else if (command == L"remove-from-excel") {
        Form* next = FormNamed(argument);
        if (!next) return 2;
        RunProcedure([&] {
            frmWizard4.Show(false);
            prcRemoveFromExcel(*next);
        });
    } else if (command == L"add-to-excel") {
        RunProcedure([&] {
            frmEnd.Show(false);
            prcAddToExcel(argument);
        });
    } else if (command == L"default-folder") {
        RunProcedure([&] {
            if (!WriteUtf8(argument, GetDefaultFolder())) throw VbError(75, L"Path/File access error");
        });
    } else if (command == L"send-mail") {
        RunProcedure([&] { prcSendMail(argument); });
    } else {
        return 2;
    }
    return setup_host::kExitReturned;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    const ferrolin::unique_hlocal<LPWSTR> args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args || count < 3) return 2;
    const std::wstring command = args.get()[1];
    const std::wstring argument = args.get()[2];
    com_apartment apartment;
    return Run(command, argument);
}
