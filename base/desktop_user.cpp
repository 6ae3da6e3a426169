#include "desktop_user.h"

#include <sddl.h>
#include <wtsapi32.h>

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

// The user signed in to this program's Windows session ("DOMAIN\name"), as the Remote
// Desktop Services API gives it: no right to another account's processes is needed for it.
// wtsapi32 is loaded from the system folder by its full path (it is no known DLL, and
// setup runs from a folder anyone may have filled).
bool SessionUser(wchar_t (&name)[kAccountChars]) {
    using Query = BOOL(WINAPI*)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    using Free = void(WINAPI*)(PVOID);
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH - 16);
    if (!length || length >= MAX_PATH - 16) return false;
    lstrcatW(path, L"\\wtsapi32.dll");
    const HMODULE wts = LoadLibraryW(path);
    if (!wts) return false;
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(GetProcAddress(wts, "WTSQuerySessionInformationW")));
    const auto free = reinterpret_cast<Free>(reinterpret_cast<void (*)()>(GetProcAddress(wts, "WTSFreeMemory")));
    bool known = false;
    LPWSTR user = nullptr, domain = nullptr;
    DWORD size = 0;
    if (query && free && query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName, &user, &size) &&
        user && user[0] && query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSDomainName, &domain, &size)) {
        lstrcpynW(name, domain ? domain : L"", kAccountChars);
        if (name[0]) lstrcatW(name, L"\\");
        const int used = lstrlenW(name);
        lstrcpynW(name + used, user, static_cast<int>(kAccountChars) - used);
        known = true;
    }
    if (user) free(user);
    if (domain) free(domain);
    FreeLibrary(wts);
    return known;
}

}  // namespace

bool RunsAsAnotherAccount(wchar_t (&own)[kAccountChars], wchar_t (&shell)[kAccountChars]) {
    TokenUserBuffer ownUser;
    union {
        SID sid;
        BYTE bytes[SECURITY_MAX_SID_SIZE];
    } signedIn;
    wchar_t domain[256];
    DWORD sidSize = sizeof signedIn, domainChars = 256;
    SID_NAME_USE use;
    if (!SessionUser(shell) || !UserOf(GetCurrentProcess(), &ownUser) ||
        !LookupAccountNameW(nullptr, shell, &signedIn.sid, &sidSize, domain, &domainChars, &use) ||
        EqualSid(ownUser.user.User.Sid, &signedIn.sid))
        return false;
    NameOf(ownUser.user.User.Sid, own);
    NameOf(&signedIn.sid, shell);
    return true;
}

}  // namespace ferrolin
