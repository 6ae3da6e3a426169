// Runs inside a program driven by the UI driver, as a window procedure hook, to name the
// icon of a message box. A program's shared system icons (LoadIcon(NULL, IDI_...)) are
// handles of its own under Wine, so only the program itself can compare them: on the
// driver's query message it stores the icon kind as a window property the driver reads.
#include <windows.h>

#include "icon_hook.h"

extern "C" LRESULT CALLBACK UidriverIconHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (message->message == RegisterWindowMessageW(uidriver_hook::kQueryMessage)) {
            const HICON shown = reinterpret_cast<HICON>(SendMessageW(message->hwnd, STM_GETICON, 0, 0));
            const INT_PTR kind = uidriver_hook::KindOfIcon(shown);
            SetPropW(message->hwnd, uidriver_hook::kAnswerProperty, reinterpret_cast<HANDLE>(kind));
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
