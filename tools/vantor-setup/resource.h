// The dialogs and controls of vantor-setup: the program's resource script,
// its code and the tests that drive it share these numbers.
#pragma once

#define IDD_KEYS 100
#define IDD_GAME 101
#define IDD_CAPTURE 102

// The key bindings page: one row per action, in the value table's order
// (row i: its label, the button that shows its key, and what else the key
// is bound to).
#define IDC_KEY_LABEL 1000
#define IDC_KEY_BUTTON 1100
#define IDC_KEY_CONFLICT 1200
#define IDC_KEYS_INTRO 1300
#define IDC_KEYS_STATUS 1301
#define IDC_KEYS_SWAP 1302
#define IDC_KEYS_DEFAULTS 1303

// The game settings page: one row per value, in the value table's order
// (row i: its label, its field and what it means).
#define IDC_GAME_LABEL 2000
#define IDC_GAME_EDIT 2100
#define IDC_GAME_HINT 2200
#define IDC_GAME_INTRO 2300
#define IDC_GAME_STATUS 2301
#define IDC_GAME_DEFAULTS 2302

// The window that takes the key press.
#define IDC_CAPTURE_AREA 3000

// The top-level window's title, by which a second start finds the first.
#define VANTOR_SETUP_TITLE L"vantor-setup"
#define VANTOR_SETUP_CAPTURE_CLASS_A "VantorKeyCapture"
#define VANTOR_SETUP_CAPTURE_CLASS L"VantorKeyCapture"
