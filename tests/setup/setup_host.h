// What the tests and the setup test host agree on.
#pragma once

namespace setup_host {

// The host's exit code when the operation it ran returned (the program did not end itself).
inline constexpr unsigned kExitReturned = 100;
inline constexpr wchar_t kHoldCaption[] = L"setup_host hold";

}  // namespace setup_host
