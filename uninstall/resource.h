// Resource IDs of the uninstallers.
#pragma once

#define IDI_UNINSTALL 1
