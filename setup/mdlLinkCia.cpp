#include "mdlLinkCia.h"

#include <windows.h>
#include <shellapi.h>

#include "names.h"

namespace ferrolin {

void prcLinkCia() {
    ShellExecuteW(nullptr, nullptr, kMakerWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ferrolin
