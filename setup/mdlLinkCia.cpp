#include "mdlLinkCia.h"

#include <windows.h>
#include <shellapi.h>

#include "ansi.h"
#include "names.h"

namespace ferrolin {

void prcLinkCia() {
    ShellExecuteA(nullptr, nullptr, ToAnsi(kMakerWebAddress).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ferrolin
