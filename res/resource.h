// Resource ids of pelko.rc, shared by the resource script and the code.
#pragma once

// Icons
#define IDI_PELKO             128  // the program: tray (unlocked), windows
#define IDI_HOST              132  // a host in the lists
#define IDI_MESSAGE           141  // left of the text in the message box
#define IDI_CHECK             149  // check mark of the host list
#define IDI_PELKO_LOCKED      151  // tray while the local clipboard is locked

// Bitmaps used by the skin (drawn by art/make_art.py on the default base colour)
#define IDB_SKIN_142          142  // 8 x 8 pattern: paper
#define IDB_SKIN_143          143  // 8 x 8 pattern: pale green selection hatch
#define IDB_SKIN_144          144  // 16 x 16 tile: panel texture
#define IDB_SKIN_145          145  // 15 x 14: close button glyph
#define IDB_SKIN_146          146  // 8 x 8 pattern: panel
#define IDB_SKIN_147          147  // 8 x 8 pattern: window background

// Menus and dialogs
#define IDR_TRAY_MENU         135
#define IDD_MESSAGE           107

// Tray menu commands
#define ID_TRAY_EXIT          0x8003
#define ID_TRAY_OPEN_MAIN     0x8004
#define ID_TRAY_LOCK          0x8005
#define ID_TRAY_FIRST_HOST    0x8000

// Strings (ids 101 to 129); the remote-request statuses share these ids.
#define IDS_ABOUT_BOX               101
#define IDS_PREVIOUS_REQUEST        102
#define IDS_NO_REMOTE_FORMATS       103
#define IDS_REMOTE_EMPTY            104
#define IDS_NOT_ANSWERING           105
#define IDS_REMOTE_BUSY             106
#define IDS_TIMEOUT                 107
#define IDS_NETWORK_ERROR           108
#define IDS_INTERNAL_ERROR_DETAIL   109
#define IDS_CORRUPTED_DATA          110
#define IDS_NOT_INITIALIZED         111
#define IDS_REMOTE_GENERAL_ERROR    112
#define IDS_INTERNAL_ERROR          113
#define IDS_FATAL_ERROR             114
#define IDS_NICK_NOT_UNIQUE         115
#define IDS_RENAME_FAILED           116
#define IDS_NICK_EMPTY              117
#define IDS_UNKNOWN_ERROR           118
#define IDS_TITLE                   119
#define IDS_TRANSFERRING            120
#define IDS_CANCELLED               121
#define IDS_REJECTED                122
#define IDS_ABOUT_TEXT              124
#define IDS_PRODUCT_NAME            125
#define IDS_RENDER_FAILED           126
#define IDS_NO_FORMATS              127
#define IDS_COMM_PROBLEM            128
#define IDS_NOT_SUPPORTED           129
