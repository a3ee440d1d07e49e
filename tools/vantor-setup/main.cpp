// vantor-setup: the game's settings and key bindings in two pages of a
// property sheet, read and written through vantor.dll's eight functions,
// as the game reads them. A write stores only the values changed, by their
// mask bits; closing without a change writes nothing.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the common controls need its types.
#include <commctrl.h>
#include <prsht.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "bindings.h"
#include "registry/codes.h"
#include "resource.h"
#include "settings/value_table.h"
#include "settings/value_text.h"
#include "vantor.h"

namespace {

using vantor::settings::Kind;
using vantor::settings::kSettings;
using vantor::settings::kValuesPerRecord;
using vantor::settings::Setting;
using vantor_setup::get_key;
using vantor_setup::key_label;
using vantor_setup::put_key;

// The game's texts are windows-1252.
constexpr UINT kGameCodePage = 1252;

// What the pages show and what the store holds as far as the program
// knows: a write stores the values in which they differ.
struct State {
    GameConfigSettings stored_game{};
    GameConfigSettings game{};
    KeyConfigSettings stored_keys{};
    KeyConfigSettings keys{};
    std::wstring read_note;  // said on the first page when a record was not read
    // The last rebinding, which the Swap button undoes for the other row.
    int swap_row = -1;           // the row that got a key another row has
    int swap_with = -1;          // that other row
    std::uint32_t swap_key = 0;  // the key swap_row had before
};
State g_state;

const Setting& game_setting(std::size_t row) { return kSettings[row]; }
const Setting& key_setting(std::size_t row) { return kSettings[kValuesPerRecord + row]; }

std::wstring widen(const char* ascii) {
    std::wstring out;
    while (*ascii != '\0')
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*ascii++)));
    return out;
}

// ---- Texts -----------------------------------------------------------------

std::wstring from_game_text(const char* bytes) {
    const int length = static_cast<int>(strnlen(bytes, VANTOR_TEXT_SIZE));
    if (length == 0) return {};
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(kGameCodePage, 0, bytes, length, text.data(), length);
    return text;
}

// Converts a text for the game's 256-byte field. On failure returns false
// and says why in *problem: too long, or a character windows-1252 does not
// hold (named, so that the player sees which).
bool to_game_text(const std::wstring& text, char* field, std::wstring* problem) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t units = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() ? 2 : 1;
        char byte[4];
        BOOL lost = FALSE;
        const int made =
            WideCharToMultiByte(kGameCodePage, WC_NO_BEST_FIT_CHARS, &text[i],
                                static_cast<int>(units), byte, sizeof byte, nullptr, &lost);
        if (made != 1 || lost) {
            *problem = L"\u201C" + text.substr(i, units) +
                       L"\u201D is not a character the game can store: its texts hold only "
                       L"Western European letters (windows-1252).";
            return false;
        }
        i += units;
    }
    if (text.size() > VANTOR_TEXT_MAX) {
        *problem = L"is " + std::to_wstring(text.size()) + L" characters long; the game stores " +
                   std::to_wstring(VANTOR_TEXT_MAX) + L" at most.";
        return false;
    }
    std::memset(field, 0, VANTOR_TEXT_SIZE);
    if (!text.empty()) {
        WideCharToMultiByte(kGameCodePage, WC_NO_BEST_FIT_CHARS, text.data(),
                            static_cast<int>(text.size()), field, VANTOR_TEXT_MAX, nullptr,
                            nullptr);
    }
    return true;
}

std::wstring window_text(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Labels with a mnemonic of their own: the first free letter that starts
// a word, else the first free letter. `used` holds the page's letters
// taken, lower case.
std::wstring with_mnemonic(const std::wstring& label, std::wstring* used) {
    const auto free_at = [&](std::size_t i) {
        const wchar_t c = static_cast<wchar_t>(towlower(label[i]));
        return iswalpha(label[i]) && used->find(c) == std::wstring::npos;
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < label.size(); ++i) {
            const bool word_start = i == 0 || label[i - 1] == L' ';
            if ((pass == 1 || word_start) && free_at(i)) {
                used->push_back(static_cast<wchar_t>(towlower(label[i])));
                return label.substr(0, i) + L"&" + label.substr(i);
            }
        }
    }
    return label;
}

std::wstring capitalized(const char* text) {
    std::wstring out = widen(text);
    if (!out.empty()) out[0] = static_cast<wchar_t>(towupper(out[0]));
    return out;
}

// ---- Numbers in game records -------------------------------------------------

unsigned char* field_of(GameConfigSettings& game, const Setting& setting) {
    return reinterpret_cast<unsigned char*>(&game) + setting.offset;
}

std::uint32_t get_number(const GameConfigSettings& game, const Setting& setting) {
    std::uint32_t number;
    std::memcpy(&number, reinterpret_cast<const unsigned char*>(&game) + setting.offset,
                sizeof number);
    return number;
}

void put_number(GameConfigSettings& game, const Setting& setting, std::uint32_t number) {
    std::memcpy(field_of(game, setting), &number, sizeof number);
}

bool same_value(const GameConfigSettings& a, const GameConfigSettings& b, const Setting& setting) {
    if (setting.kind == Kind::kText) {
        const char* x = reinterpret_cast<const char*>(&a) + setting.offset;
        const char* y = reinterpret_cast<const char*>(&b) + setting.offset;
        return strncmp(x, y, VANTOR_TEXT_SIZE) == 0;
    }
    return get_number(a, setting) == get_number(b, setting);
}

std::uint32_t changed_game(const GameConfigSettings& before, const GameConfigSettings& after) {
    std::uint32_t mask = 0;
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        if (!same_value(before, after, game_setting(row))) mask |= game_setting(row).bit;
    }
    return mask;
}

// The defaults as the library's defaults functions store them.
GameConfigSettings default_game() {
    GameConfigSettings game{};
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        const Setting& setting = game_setting(row);
        if (setting.kind == Kind::kText) {
            std::strncpy(reinterpret_cast<char*>(field_of(game, setting)), setting.default_text,
                         VANTOR_TEXT_MAX);
        } else {
            put_number(game, setting, setting.default_number);
        }
    }
    return game;
}

KeyConfigSettings default_keys() {
    KeyConfigSettings keys{};
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        put_key(keys, row, key_setting(row).default_number);
    }
    return keys;
}

// ---- Failures ----------------------------------------------------------------

// "status 5 (access denied: Access is denied.)"
std::wstring status_text(std::int32_t status) {
    std::wstring text = L"status " + std::to_wstring(status);
    std::wstring meaning;
    if (const vantor::reg::StatusInfo* info = vantor::reg::find_status(status)) {
        meaning = widen(info->text);
    }
    wchar_t* system = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&system),
                       0, nullptr) != 0 &&
        system != nullptr) {
        std::wstring said = system;
        while (!said.empty() &&
               (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ')) {
            said.pop_back();
        }
        if (!said.empty()) meaning += (meaning.empty() ? L"" : L": ") + said;
    }
    if (system != nullptr) LocalFree(system);
    return meaning.empty() ? text : text + L" (" + meaning + L")";
}

// What to do about a failed write.
std::wstring advice(std::int32_t status) {
    if (status == vantor::reg::kAccessDenied) {
        return L"The game keeps its settings for every player under "
               L"HKEY_LOCAL_MACHINE\\Software\\QUORIX, which only an administrator may change: "
               L"run vantor-setup as an administrator (right-click it, Run as administrator).\n\n"
               L"When a standard user runs the 32-bit game, or the 32-bit vantor-setup, Windows "
               L"does not refuse: it keeps that user's values in their own store, "
               L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\"
               L"WOW6432Node\\QUORIX (without WOW6432Node on 32-bit Windows), and the game "
               L"reads them there for that user only. The 64-bit vantor-setup is never given "
               L"such a store, nor is a program run as an administrator.";
    }
    return L"Values written before the failure may have been saved; the pages still show what "
           L"you chose. Check that the registry is not full and that nothing else holds the "
           L"game's keys, then press Apply again.";
}

void show_failure(HWND page, const wchar_t* what, std::int32_t status) {
    const std::wstring text = L"Windows did not save the " + std::wstring(what) + L": " +
                              status_text(status) + L".\n\n" + advice(status);
    MessageBoxW(GetParent(page), text.c_str(), VANTOR_SETUP_TITLE, MB_OK | MB_ICONERROR);
}

// ---- The key press -----------------------------------------------------------

struct Capture {
    std::wstring prompt;
    bool pressed = false;
    std::uint32_t key_down = 0;  // the virtual key whose release ends the capture
    vantor_setup::Binding binding{};
};

constexpr UINT_PTR kCaptureTimer = 1;

void end_capture(HWND area) {
    KillTimer(area, kCaptureTimer);
    EndDialog(GetParent(area), IDOK);
}

// The capture area takes every key, Tab, Enter and Esc included, and keeps
// the first one pressed. The dialog closes when that key is released (or
// soon after, should the release go elsewhere), so that the release does
// not reach the page behind it.
LRESULT CALLBACK capture_proc(HWND area, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* capture = reinterpret_cast<Capture*>(GetWindowLongPtrW(area, GWLP_USERDATA));
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            // A key already down when the dialog opened repeats: not a press.
            if (capture != nullptr && !capture->pressed && (lparam & (1L << 30)) == 0) {
                const vantor_setup::Binding binding =
                    vantor_setup::binding_for({static_cast<std::uint32_t>(wparam),
                                               static_cast<std::uint32_t>((lparam >> 16) & 0xFF),
                                               (lparam & (1L << 24)) != 0});
                // A key Windows gives no code (255, some laptops' extra
                // keys) is not one the game can be told: wait for another.
                const vantor::settings::Range range = vantor::settings::value_range(key_setting(0));
                if (binding.code < range.min || binding.code > range.max) return 0;
                capture->pressed = true;
                capture->key_down = static_cast<std::uint32_t>(wparam);
                capture->binding = binding;
                SetTimer(area, kCaptureTimer, 500, nullptr);
            }
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            if (capture == nullptr) return 0;
            if (!capture->pressed && wparam == VK_SNAPSHOT) {
                // Windows sends no key-down for Print Screen.
                capture->pressed = true;
                capture->binding = {VK_SNAPSHOT, {}};
                end_capture(area);
            } else if (capture->pressed && wparam == capture->key_down) {
                end_capture(area);
            }
            return 0;
        case WM_TIMER:
            if (wparam == kCaptureTimer) end_capture(area);
            return 0;
        case WM_CHAR:
        case WM_SYSCHAR:
        case WM_DEADCHAR:
        case WM_SYSDEADCHAR:
            return 0;
        case WM_LBUTTONDOWN:
            SetFocus(area);
            return 0;
        case WM_SETFONT:
            SetPropW(area, L"font", reinterpret_cast<HANDLE>(wparam));
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(GetPropW(area, L"font"));
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(area, &paint);
            RECT box;
            GetClientRect(area, &box);
            FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));
            FrameRect(dc, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
            // A margin in dialog units, so that it scales with the DPI.
            RECT margin{4, 2, 0, 0};
            MapDialogRect(GetParent(area), &margin);
            InflateRect(&box, -margin.left, -margin.top);
            const HGDIOBJ old = SelectObject(dc, GetPropW(area, L"font"));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            if (capture != nullptr) {
                DrawTextW(dc, capture->prompt.c_str(), -1, &box, DT_CENTER | DT_WORDBREAK);
            }
            SelectObject(dc, old);
            EndPaint(area, &paint);
            return 0;
        }
        case WM_NCDESTROY:
            RemovePropW(area, L"font");
            break;
    }
    return DefWindowProcW(area, message, wparam, lparam);
}

INT_PTR CALLBACK capture_dialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* capture = reinterpret_cast<Capture*>(lparam);
            HWND area = GetDlgItem(dialog, IDC_CAPTURE_AREA);
            SetWindowLongPtrW(area, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(capture));
            SetFocus(area);
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
            return TRUE;
    }
    return FALSE;
}

// ---- The key bindings page ---------------------------------------------------

void show_keys(HWND page) {
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        SetDlgItemTextW(page, IDC_KEY_BUTTON + static_cast<int>(row),
                        key_label(get_key(g_state.keys, row)).c_str());
        std::wstring shared;
        for (const std::size_t other : vantor_setup::rows_sharing(g_state.keys, row)) {
            shared +=
                (shared.empty() ? L"Conflict: also " : L", ") + widen(key_setting(other).name);
        }
        SetDlgItemTextW(page, IDC_KEY_CONFLICT + static_cast<int>(row), shared.c_str());
    }
    EnableWindow(GetDlgItem(page, IDC_KEYS_SWAP), g_state.swap_row >= 0);
    HWND sheet = GetParent(page);
    if (vantor_setup::changed_keys(g_state.stored_keys, g_state.keys) != 0) {
        PropSheet_Changed(sheet, page);
    } else {
        PropSheet_UnChanged(sheet, page);
    }
}

void rebind(HWND page, std::size_t row) {
    const Setting& setting = key_setting(row);
    const std::uint32_t before = get_key(g_state.keys, row);
    Capture capture;
    capture.prompt = L"Press the key for " + widen(setting.name) + L" (" +
                     widen(vantor::settings::value_meaning(setting)) +
                     L").\nAny key counts, Esc, Tab and Enter too.\nClick Cancel to keep " +
                     key_label(before) + L".";
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CAPTURE), GetParent(page),
                        capture_dialog, reinterpret_cast<LPARAM>(&capture)) != IDOK ||
        !capture.pressed) {
        return;
    }
    const std::uint32_t code = capture.binding.code;
    put_key(g_state.keys, row, code);
    g_state.swap_row = -1;
    std::wstring status = widen(setting.name) + L": " + key_label(code) + L".";
    const std::vector<std::size_t> sharing = vantor_setup::rows_sharing(g_state.keys, row);
    if (!sharing.empty() && code != before) {
        const std::size_t other = sharing.front();
        g_state.swap_row = static_cast<int>(row);
        g_state.swap_with = static_cast<int>(other);
        g_state.swap_key = before;
        status = key_label(code) + L" is also the key for " + widen(key_setting(other).name) +
                 L". Swap gives " + widen(key_setting(other).name) + L" " + key_label(before) +
                 L" instead.";
    }
    if (!capture.binding.note.empty()) status += L" " + capture.binding.note;
    SetDlgItemTextW(page, IDC_KEYS_STATUS, status.c_str());
    show_keys(page);
    SetFocus(GetDlgItem(
        page, g_state.swap_row >= 0 ? IDC_KEYS_SWAP : IDC_KEY_BUTTON + static_cast<int>(row)));
}

void swap_keys(HWND page) {
    if (g_state.swap_row < 0) return;
    const auto row = static_cast<std::size_t>(g_state.swap_row);
    const auto other = static_cast<std::size_t>(g_state.swap_with);
    put_key(g_state.keys, other, g_state.swap_key);
    g_state.swap_row = -1;
    const std::wstring status =
        widen(key_setting(row).name) + L" and " + widen(key_setting(other).name) + L" traded keys.";
    SetDlgItemTextW(page, IDC_KEYS_STATUS, status.c_str());
    show_keys(page);
    SetFocus(GetDlgItem(page, IDC_KEY_BUTTON + static_cast<int>(row)));
}

// Writes the changed bindings; false keeps the sheet open.
bool apply_keys(HWND page) {
    const std::uint32_t mask = vantor_setup::changed_keys(g_state.stored_keys, g_state.keys);
    if (mask == 0) return true;
    std::wstring shared;
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        for (const std::size_t other : vantor_setup::rows_sharing(g_state.keys, row)) {
            if (other > row) {
                shared += L"\n" + widen(key_setting(row).name) + L" and " +
                          widen(key_setting(other).name) + L": " +
                          key_label(get_key(g_state.keys, row));
            }
        }
    }
    if (!shared.empty()) {
        const std::wstring question =
            L"These actions share a key, so the game does both when it "
            L"is pressed:\n" +
            shared + L"\n\nSave the key bindings anyway?";
        if (MessageBoxW(GetParent(page), question.c_str(), VANTOR_SETUP_TITLE,
                        MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
            return false;
        }
    }
    const int status = SetKeyConfigSettings(&g_state.keys, mask);
    if (status != 0) {
        show_failure(page, L"key bindings", status);
        return false;
    }
    g_state.stored_keys = g_state.keys;
    SetDlgItemTextW(page, IDC_KEYS_STATUS, L"");
    show_keys(page);
    return true;
}

INT_PTR CALLBACK keys_page(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG: {
            std::wstring used = L"adw";  // Apply, Defaults, Swap
            for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
                const Setting& setting = key_setting(row);
                // The action in words, and by the name vantorctl and the
                // registry give it where that differs.
                std::wstring label = capitalized(vantor::settings::value_meaning(setting));
                if (_wcsicmp(label.c_str(), widen(setting.name).c_str()) != 0) {
                    label += L" (" + widen(setting.name) + L")";
                }
                SetDlgItemTextW(page, IDC_KEY_LABEL + static_cast<int>(row),
                                with_mnemonic(label, &used).c_str());
            }
            SetDlgItemTextW(page, IDC_KEYS_STATUS, g_state.read_note.c_str());
            show_keys(page);
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (HIWORD(wparam) != BN_CLICKED) break;
            if (id >= IDC_KEY_BUTTON && id < IDC_KEY_BUTTON + static_cast<int>(kValuesPerRecord)) {
                rebind(page, static_cast<std::size_t>(id - IDC_KEY_BUTTON));
            } else if (id == IDC_KEYS_SWAP) {
                swap_keys(page);
            } else if (id == IDC_KEYS_DEFAULTS) {
                g_state.keys = default_keys();
                g_state.swap_row = -1;
                SetDlgItemTextW(page, IDC_KEYS_STATUS,
                                L"Every action has its default key (saved when you press OK "
                                L"or Apply).");
                show_keys(page);
            }
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->code == PSN_APPLY) {
                SetWindowLongPtrW(page, DWLP_MSGRESULT,
                                  apply_keys(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

// ---- The game settings page --------------------------------------------------

// Reads one field of the page into `game`; on failure says why in *problem.
bool read_field(HWND page, std::size_t row, GameConfigSettings& game, std::wstring* problem) {
    const Setting& setting = game_setting(row);
    const std::wstring text = window_text(GetDlgItem(page, IDC_GAME_EDIT + static_cast<int>(row)));
    if (setting.kind == Kind::kText) {
        return to_game_text(text, reinterpret_cast<char*>(field_of(game, setting)), problem);
    }
    const vantor::settings::Range range = vantor::settings::value_range(setting);
    if (text.empty()) {
        *problem = L"needs a number, " + widen(range.text) + L".";
        return false;
    }
    std::uint64_t number = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            *problem = L"takes digits only, " + widen(range.text) + L".";
            return false;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - L'0');
        if (number > range.max) {
            *problem = L"is more than " + std::to_wstring(range.max) + L".";
            return false;
        }
    }
    if (number < range.min) {
        *problem = L"is less than " + std::to_wstring(range.min) + L".";
        return false;
    }
    put_number(game, setting, static_cast<std::uint32_t>(number));
    return true;
}

// Reads every field; on the first that is refused, shows why (and puts the
// caret in it when asked) and returns false.
bool read_fields(HWND page, bool focus_refused) {
    GameConfigSettings game = g_state.game;
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        std::wstring problem;
        if (!read_field(page, row, game, &problem)) {
            const std::wstring status =
                widen(game_setting(row).name) + L" " + problem + L" Nothing was saved.";
            SetDlgItemTextW(page, IDC_GAME_STATUS, status.c_str());
            if (focus_refused) {
                HWND edit = GetDlgItem(page, IDC_GAME_EDIT + static_cast<int>(row));
                SetFocus(edit);
                SendMessageW(edit, EM_SETSEL, 0, -1);
            }
            return false;
        }
    }
    g_state.game = game;
    SetDlgItemTextW(page, IDC_GAME_STATUS, L"");
    return true;
}

void show_game(HWND page) {
    for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
        const Setting& setting = game_setting(row);
        const std::wstring text =
            setting.kind == Kind::kText
                ? from_game_text(reinterpret_cast<const char*>(&g_state.game) + setting.offset)
                : std::to_wstring(get_number(g_state.game, setting));
        SetDlgItemTextW(page, IDC_GAME_EDIT + static_cast<int>(row), text.c_str());
    }
}

bool apply_game(HWND page) {
    if (!read_fields(page, true)) return false;
    const std::uint32_t mask = changed_game(g_state.stored_game, g_state.game);
    if (mask == 0) return true;
    const int status = SetGameConfigSettings(&g_state.game, mask);
    if (status != 0) {
        show_failure(page, L"game settings", status);
        return false;
    }
    g_state.stored_game = g_state.game;
    PropSheet_UnChanged(GetParent(page), page);
    return true;
}

INT_PTR CALLBACK game_page(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    static bool filling = false;
    switch (message) {
        case WM_INITDIALOG: {
            std::wstring used = L"ad";  // Apply, Defaults
            for (std::size_t row = 0; row < kValuesPerRecord; ++row) {
                const Setting& setting = game_setting(row);
                SetDlgItemTextW(page, IDC_GAME_LABEL + static_cast<int>(row),
                                with_mnemonic(widen(setting.name), &used).c_str());
                const vantor::settings::Range range = vantor::settings::value_range(setting);
                const std::wstring meaning = capitalized(vantor::settings::value_meaning(setting));
                const std::wstring hint =
                    meaning.empty() ? capitalized(range.text) : meaning + L"; " + widen(range.text);
                SetDlgItemTextW(page, IDC_GAME_HINT + static_cast<int>(row), hint.c_str());
                HWND edit = GetDlgItem(page, IDC_GAME_EDIT + static_cast<int>(row));
                if (setting.kind == Kind::kText) {
                    SendMessageW(edit, EM_SETLIMITTEXT, VANTOR_TEXT_MAX, 0);
                } else {
                    SetWindowLongPtrW(edit, GWL_STYLE,
                                      GetWindowLongPtrW(edit, GWL_STYLE) | ES_NUMBER);
                    SendMessageW(edit, EM_SETLIMITTEXT, 10, 0);
                }
            }
            filling = true;
            show_game(page);
            filling = false;
            return TRUE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wparam);
            if (id == IDC_GAME_DEFAULTS && HIWORD(wparam) == BN_CLICKED) {
                g_state.game = default_game();
                filling = true;
                show_game(page);
                filling = false;
                SetDlgItemTextW(page, IDC_GAME_STATUS,
                                L"Every value has its default (saved when you press OK or "
                                L"Apply).");
            } else if (HIWORD(wparam) != EN_CHANGE || filling) {
                break;
            }
            // Each change is checked at once: a refused value is said
            // below the fields while it is being typed.
            if (read_fields(page, false)) {
                if (changed_game(g_state.stored_game, g_state.game) != 0) {
                    PropSheet_Changed(GetParent(page), page);
                } else {
                    PropSheet_UnChanged(GetParent(page), page);
                }
            } else {
                PropSheet_Changed(GetParent(page), page);
            }
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lparam);
            if (header->code == PSN_KILLACTIVE) {
                SetWindowLongPtrW(page, DWLP_MSGRESULT, read_fields(page, true) ? FALSE : TRUE);
                return TRUE;
            }
            if (header->code == PSN_APPLY) {
                SetWindowLongPtrW(page, DWLP_MSGRESULT,
                                  apply_game(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

// ---- The program -------------------------------------------------------------

// Where Windows keeps the values a virtualized program writes under
// HKEY_LOCAL_MACHINE\Software\QUORIX, or empty when it does not
// virtualize this run (an administrator's, a 64-bit program's, Wine's).
std::wstring virtual_store() {
    HANDLE token = nullptr;
    DWORD enabled = 0;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (!GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled,
                                 &size)) {
            enabled = 0;
        }
        CloseHandle(token);
    }
    if (enabled == 0) return {};
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return std::wstring(
               L"HKEY_CURRENT_USER\\Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\") +
           (wow64 ? L"WOW6432Node\\" : L"") + L"QUORIX";
}

// Reads both records as the game does: a record the store does not hold is
// created with the defaults by the reading itself.
void read_store() {
    const std::wstring store = virtual_store();
    if (!store.empty()) {
        g_state.read_note = L"Windows keeps what you save in your own store, " + store +
                            L", as it does the game's settings when you play: other players "
                            L"keep theirs. ";
    }
    g_state.game = default_game();
    bool read = GetGameConfigSettings(&g_state.game) != 0;
    g_state.stored_game = g_state.game;
    read = GetKeyConfigSettings(&g_state.keys) != 0 && read;
    g_state.stored_keys = g_state.keys;
    if (read) return;
    // A reader that finds no key for a record stores the defaults there (a
    // key it may not open it leaves alone); reading again tells which.
    GameConfigSettings game = g_state.game;
    KeyConfigSettings keys{};
    if (GetGameConfigSettings(&game) != 0 && GetKeyConfigSettings(&keys) != 0) {
        g_state.read_note +=
            L"The game's settings were not stored yet: they now hold the "
            L"defaults, as after the game's first start.";
    } else {
        g_state.read_note +=
            L"Windows did not let the game's settings be opened for changing: the pages show "
            L"the defaults, and saving may be refused too. A standard user may change them "
            L"only through the 32-bit vantor-setup, for themselves, or as an administrator.";
    }
}

// True when another vantor-setup runs: it is brought to the front.
bool another_runs() {
    CreateMutexW(nullptr, FALSE, L"Local\\vantor-setup");
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    for (int tries = 0; tries < 50; ++tries) {
        if (HWND other = FindWindowW(WC_DIALOG, VANTOR_SETUP_TITLE)) {
            if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
            SetForegroundWindow(GetLastActivePopup(other));
            break;
        }
        Sleep(100);
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (another_runs()) return 0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW capture_class{};
    capture_class.lpfnWndProc = capture_proc;
    capture_class.hInstance = instance;
    capture_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    capture_class.lpszClassName = VANTOR_SETUP_CAPTURE_CLASS;
    RegisterClassW(&capture_class);

    read_store();

    PROPSHEETPAGEW pages[2]{};
    const DLGPROC procs[2] = {keys_page, game_page};
    const int templates[2] = {IDD_KEYS, IDD_GAME};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEW(templates[i]);
        pages[i].pfnDlgProc = procs[i];
    }
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP;
    sheet.hInstance = instance;
    sheet.pszCaption = VANTOR_SETUP_TITLE;
    sheet.nPages = 2;
    sheet.ppsp = pages;
    return PropertySheetW(&sheet) < 0 ? 1 : 0;
}
