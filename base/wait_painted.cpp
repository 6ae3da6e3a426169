#include "wait_painted.h"

namespace ferrolin {

bool WaitPainted(HANDLE* handles, DWORD count, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return count == 0;
        const DWORD got = MsgWaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(end - now),
                                                    QS_PAINT | QS_SENDMESSAGE);
        if (got == WAIT_FAILED) return false;
        if (got < WAIT_OBJECT_0 + count) {
            // The signalled handle leaves the set: the last one takes its place.
            handles[got - WAIT_OBJECT_0] = handles[count - 1];
            if (--count == 0) return true;
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT | PM_QS_SENDMESSAGE))
            DispatchMessageW(&message);
    }
}

}  // namespace ferrolin
