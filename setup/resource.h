// Resource IDs of the setup program: its icon, the pictures of the wizard pages and the
// application manifest.
#pragma once

#define IDI_SETUP 1
#define IDB_BANNER 101
#define IDB_BANNER_SMALL 102
#define IDB_SIDE 103
#define IDB_LINK_WEB 104
#define IDB_LINK_MAIL 105
#define IDB_FINISH 106
#define IDB_MARK 107
