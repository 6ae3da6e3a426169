#include "desktop_user.h"

#include <sddl.h>

#include "handles.h"

namespace ferrolin {

namespace {

// A token's user: TOKEN_USER and room for the largest SID.
union TokenUserBuffer {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};

bool UserOf(HANDLE process, TokenUserBuffer* user) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return false;
    const unique_handle token(raw);
    DWORD size = 0;
    return GetTokenInformation(token.get(), TokenUser, user, sizeof *user, &size) != FALSE;
}

void NameOf(PSID sid, wchar_t (&name)[kAccountChars]) {
    wchar_t account[256], domain[256];
    DWORD accountChars = 256, domainChars = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, sid, account, &accountChars, domain, &domainChars, &use)) {
        // An account the system cannot name (a deleted one) is told by its SID.
        LPWSTR text = nullptr;
        if (ConvertSidToStringSidW(sid, &text)) {
            lstrcpynW(name, text, kAccountChars);
            LocalFree(text);
        } else {
            name[0] = L'\0';
        }
        return;
    }
    lstrcpynW(name, domain, kAccountChars);
    if (domain[0]) lstrcatW(name, L"\\");
    lstrcatW(name, account);
}

}  // namespace

bool ShellRunsAsAnotherAccount(wchar_t (&own)[kAccountChars], wchar_t (&shell)[kAccountChars]) {
    DWORD shellId = 0;
    const HWND desktop = GetShellWindow();
    if (!desktop || !GetWindowThreadProcessId(desktop, &shellId) || !shellId) return false;
    const unique_handle shellProcess(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    TokenUserBuffer ownUser, shellUser;
    if (!shellProcess || !UserOf(shellProcess.get(), &shellUser) || !UserOf(GetCurrentProcess(), &ownUser) ||
        EqualSid(ownUser.user.User.Sid, shellUser.user.User.Sid))
        return false;
    NameOf(ownUser.user.User.Sid, own);
    NameOf(shellUser.user.User.Sid, shell);
    return true;
}

}  // namespace ferrolin
