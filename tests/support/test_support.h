// Helpers for tests that work against the real registry and file system.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "handles.h"
#include "vb_error.h"

namespace testing_support {

// Runs the call and gives the number of the VB error it raised (0 when none), and its
// description.
template <class Call>
long ErrorOf(Call&& call, std::wstring* description = nullptr) {
    try {
        call();
    } catch (const ferrolin::VbError& error) {
        if (description) *description = error.description();
        return error.number();
    }
    return 0;
}

// The tests' owners of a state they undo when they end derive from this: none is copied.
class NotCopied {
protected:
    NotCopied() = default;
    ~NotCopied() = default;
    NotCopied(const NotCopied&) = delete;
    NotCopied& operator=(const NotCopied&) = delete;
};

// A key of its own under HKCU\Software\FerrolinTests, removed with everything below it
// when the test ends. Each test gets a fresh one, so tests never see each other's values.
class ScratchKey : NotCopied {
public:
    explicit ScratchKey(const std::wstring& name);
    ~ScratchKey();
    // The path relative to HKEY_CURRENT_USER.
    const std::wstring& path() const { return path_; }
    std::wstring sub(const std::wstring& child) const { return path_ + L"\\" + child; }

private:
    std::wstring path_;
};

// Deletes a key with everything below it; nothing when it is missing.
void DeleteKeyTree(HKEY root, const std::wstring& path);

// Clears the install record (and the version 1.0 record) before and after a test.
class CleanRecord : NotCopied {
public:
    CleanRecord();
    ~CleanRecord();
};

// The record's values that setup's registry layer and the library read and write alike.
// STATUS_APP: a status as stored (each character's code in the ANSI code page, 1252 here),
// and whether it reads as installed; the last case is what a test leaves stored.
struct StatusCase {
    const wchar_t* status;
    const wchar_t* encoded;
    bool installed;
};
extern const StatusCase kStatusCases[6];
// APP_EXIST: its binary contents, and whether they read as "the add-in exists".
struct AppExistCase {
    const char* what;
    std::vector<BYTE> stored;
    bool exists;
};
std::vector<AppExistCase> AppExistCases();

// A raw registry value as stored, read with the wide API.
struct RawValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    std::wstring text() const;  // the data as UTF-16 up to its terminator
};
RawValue ReadRaw(HKEY root, const std::wstring& key, const std::wstring& value);
bool KeyExists(HKEY root, const std::wstring& key);
// Writes a value, the key made when missing; whether it was written.
bool WriteRaw(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type,
              const std::vector<BYTE>& data);

// Variants of the kinds the tests hand to the layer and the library (texts, longs and
// byte arrays: ferrolin::MakeText, MakeLong, MakeBytes).
ferrolin::unique_variant Of(VARTYPE vt);  // a variant of that type with zero contents
ferrolin::unique_variant Double(double value);
ferrolin::unique_variant Bool(bool value);

// The UTF-16LE bytes of a text, as stored in binary text form.
std::vector<BYTE> Utf16Bytes(const std::wstring& text);
// A REG_SZ value as the registry holds it: UTF-16LE with its terminator.
inline std::vector<BYTE> Sz(const std::wstring& text) { return Utf16Bytes(text + L'\0'); }
// Printable form of bytes for failure messages ("30 00 31 00").
std::string Hex(const std::vector<BYTE>& bytes);
std::string Narrow(const std::wstring& text);  // ASCII, '?' for anything else
// The running test program's folder, and a file in it.
std::wstring ProgramFolder();
std::wstring ProgramBeside(const std::wstring& fileName);
std::string Utf8(const std::wstring& text);
// Lines for a failure message: each on a line of its own, indented.
std::string JoinLines(const std::vector<std::wstring>& lines);

// A fresh empty folder under the temporary folder (name.<process id>), for RemoveTree later.
std::wstring FreshFolder(const std::wstring& name);

// A fresh empty folder under the temporary folder, removed with its contents afterwards.
class TempDir : NotCopied {
public:
    explicit TempDir(const std::wstring& name);
    ~TempDir();
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Files. A file is read shared with its writers (a log still being written, say).
std::wstring Join(const std::wstring& folder, const std::wstring& name);  // one backslash between
std::string ReadFileBytes(const std::wstring& path);  // empty when unreadable
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);  // whether all were written
// The lines of a log that another program writes in UTF-8, without their "\r\n" or "\n";
// none when the file is unreadable.
std::vector<std::wstring> LogLines(const std::wstring& path);
bool FileExists(const std::wstring& path);
void RemoveFile(const std::wstring& path);  // clears read-only first; ignores a missing file
// A folder with everything in it (read-only files too); nothing when it is missing.
void RemoveTree(const std::wstring& path);
// Windows path of a Unix path as Wine maps it (the root is drive Z:). Windows paths pass.
std::wstring WindowsPath(const std::string& path);

// Starts `program` (a full path) with `arguments`, in `folder` (empty: the test's own). When
// it cannot start, the result holds no process and `why` (when given) says so in words: the
// program, the system's error and its description.
ferrolin::unique_process_information StartProgram(const std::wstring& program, const std::wstring& arguments,
                                                  const std::wstring& folder = L"", std::string* why = nullptr);
// A program run to its end: its exit code (-1 when it did not start or did not end in
// time, and then it is ended), and how it went, in words for a failure message: that it
// ended with its code, could not be started (the system's error and its description), or
// still ran after the time allowed.
struct ProgramRun {
    int exitCode = -1;
    std::string what;
};
ProgramRun RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms = 30000);
// The same run's exit code (-1 when it did not start or end in time); what tells how it went.
int ExitCodeOf(const std::wstring& program, const std::wstring& arguments, DWORD timeout_ms = 30000,
               std::string* what = nullptr);
// The Windows system folder (for a 32-bit program on 64-bit Windows, the one it sees).
std::wstring SystemFolder();

// Asks the predicate every 50 ms until it holds, for timeout_ms at most (the last time once
// they have passed); whether it held. Pumps no messages.
bool WaitUntil(const std::function<bool()>& predicate, DWORD timeout_ms);
// Asks the predicate every 50 ms for ms: whether it held every time (that nothing happened
// that should not, within a time it would have taken).
bool StaysTrue(const std::function<bool()>& predicate, DWORD ms);

// Stops (or lets go on) every thread of a process, as a hung program.
void SetThreadsRunning(DWORD processId, bool running);

}  // namespace testing_support
