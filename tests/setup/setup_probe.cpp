// Drives a running vantor-setup from another process, as a person would
// through its controls, and checks the store through vantor.dll. The test
// script (setup_test.sh) runs it between the real key presses it sends
// through the X server. Each argument is a step, run in order; the first
// that fails ends the run with status 1 and says why:
//
//   reset                      every value to its default (SetAllDefaults)
//   write NAME=VALUE           store one value as another program would
//   expect-store NAME=VALUE    the store holds that value
//   start                      start vantor-setup (the one beside this program)
//                              in the tests' own desktop
//   start-again                a second start ends at once, with status 0
//   wait-sheet                 vantor-setup's window is up
//   page N                     show page N (0 keys, 1 game settings)
//   press ACTION               click ACTION's key button (the key dialog opens)
//   expect-key ACTION TEXT     ACTION's key button reads TEXT
//   expect-conflict ACTION TEXT   what ACTION's row says of a shared key
//   set NAME TEXT              type TEXT into a game setting's field
//   click BUTTON               swap, keys-defaults, game-defaults, ok, cancel, apply
//   expect-status PAGE TEXT    the page's status line (PAGE keys or game) holds TEXT
//   expect-open                the window is still up
//   expect-layout DPI          the screen is at DPI, and both pages are laid out
//                              right: inside the screen and their page, no
//                              overlaps, room for every text
//   wait-exit                  the window is gone
//   stop                       end a vantor-setup that is still running
//
// NAME is a value's registry name ("User Name", "Fire"); a number value or
// key is given in decimal. In TEXT, \uXXXX stands for a UTF-16 unit, so
// that any character passes through a command line in any locale.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
// windows.h first: the common controls need its types.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "resource.h"
#include "settings/value_table.h"
#include "vantor.h"

namespace {

using vantor::settings::Kind;
using vantor::settings::kSettings;
using vantor::settings::kValuesPerRecord;
using vantor::settings::Record;
using vantor::settings::Setting;

constexpr DWORD kWaitMs = 30000;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "setup_probe: %s\n", what.c_str());
    std::exit(1);
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) {
        if (c >= 32 && c < 127) {
            out.push_back(static_cast<char>(c));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

std::wstring decode(const std::string& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\u") == 0 && i + 6 <= text.size()) {
            out.push_back(
                static_cast<wchar_t>(std::strtoul(text.substr(i + 2, 4).c_str(), nullptr, 16)));
            i += 5;
        } else {
            out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[i])));
        }
    }
    return out;
}

const Setting& setting_named(const std::string& name) {
    for (const Setting& setting : kSettings) {
        if (name == setting.name) return setting;
    }
    fail("no value is called \"" + name + "\"");
}

// The row of a value on its page: its place in its record's read order.
int row_of(const Setting& setting) {
    const auto index = static_cast<std::size_t>(&setting - kSettings);
    return static_cast<int>(setting.record == Record::kGame ? index : index - kValuesPerRecord);
}

// ---- The store, through the library ----------------------------------------

struct Records {
    GameConfigSettings game{};
    KeyConfigSettings keys{};
};

Records read_store() {
    Records records;
    GetGameConfigSettings(&records.game);
    GetKeyConfigSettings(&records.keys);
    return records;
}

unsigned char* field_of(Records& records, const Setting& setting) {
    auto* record = setting.record == Record::kGame
                       ? reinterpret_cast<unsigned char*>(&records.game)
                       : reinterpret_cast<unsigned char*>(&records.keys);
    return record + setting.offset;
}

// A value as the steps write it: a text as UTF-16 escapes, a number in decimal.
std::wstring shown(Records& records, const Setting& setting) {
    const unsigned char* field = field_of(records, setting);
    if (setting.kind == Kind::kText) {
        const char* text = reinterpret_cast<const char*>(field);
        const int length = static_cast<int>(strnlen(text, VANTOR_TEXT_SIZE));
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(1252, 0, text, length, wide.data(), length);
        return wide;
    }
    std::uint32_t number;
    std::memcpy(&number, field, sizeof number);
    return std::to_wstring(number);
}

void split(const std::string& step, std::string* name, std::string* value) {
    const std::size_t equals = step.find('=');
    if (equals == std::string::npos) fail("expected NAME=VALUE, not \"" + step + "\"");
    *name = step.substr(0, equals);
    *value = step.substr(equals + 1);
}

void write_value(const std::string& step) {
    std::string name, value;
    split(step, &name, &value);
    const Setting& setting = setting_named(name);
    Records records = read_store();
    unsigned char* field = field_of(records, setting);
    if (setting.kind == Kind::kText) {
        const std::wstring wide = decode(value);
        std::memset(field, 0, VANTOR_TEXT_SIZE);
        WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()),
                            reinterpret_cast<char*>(field), VANTOR_TEXT_MAX, nullptr, nullptr);
    } else {
        const auto number = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        std::memcpy(field, &number, sizeof number);
    }
    const int status = setting.record == Record::kGame
                           ? SetGameConfigSettings(&records.game, setting.bit)
                           : SetKeyConfigSettings(&records.keys, setting.bit);
    if (status != 0) fail("writing " + step + " failed: status " + std::to_string(status));
}

// Waits a while for the value, which a click posted a moment ago may still
// be writing.
void expect_store(const std::string& step) {
    std::string name, value;
    split(step, &name, &value);
    const Setting& setting = setting_named(name);
    std::wstring found;
    for (DWORD waited = 0; waited < kWaitMs; waited += 100) {
        Records records = read_store();
        found = shown(records, setting);
        if (found == decode(value)) return;
        Sleep(100);
    }
    fail("the store holds " + name + "=" + narrow(found) + ", expected " + value);
}

// ---- The window ----------------------------------------------------------------

HWND sheet() { return FindWindowW(WC_DIALOG, VANTOR_SETUP_TITLE); }

HWND wait_sheet() {
    for (DWORD waited = 0; waited < kWaitMs; waited += 100) {
        HWND window = sheet();
        if (window != nullptr && IsWindowVisible(window) &&
            PropSheet_IndexToHwnd(window, 0) != nullptr) {
            return window;
        }
        Sleep(100);
    }
    fail("vantor-setup's window did not appear");
}

HWND page(int index) {
    HWND window = wait_sheet();
    HWND found = PropSheet_IndexToHwnd(window, index);
    if (found == nullptr) fail("page " + std::to_string(index) + " is not there");
    return found;
}

std::wstring text_of(HWND window) {
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, sizeof text / sizeof text[0],
                        reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

// Waits until a control's text is `want` (or holds it, with `part`).
void expect_text(HWND control, const std::wstring& want, bool part, const std::string& what) {
    std::wstring text;
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        text = text_of(control);
        if (part ? text.find(want) != std::wstring::npos : text == want) return;
        Sleep(50);
    }
    fail(what + " reads \"" + narrow(text) + "\", expected " + (part ? "it to hold \"" : "\"") +
         narrow(want) + "\"");
}

// Clicks a button without waiting for what the click opens.
void click(HWND button, const std::string& what) {
    if (button == nullptr) fail("no button " + what);
    if (!IsWindowEnabled(button)) fail("the button " + what + " is disabled");
    PostMessageW(button, BM_CLICK, 0, 0);
}

HWND key_button(const std::string& action) {
    return GetDlgItem(page(0), IDC_KEY_BUTTON + row_of(setting_named(action)));
}

void click_named(const std::string& name) {
    if (name == "swap") return click(GetDlgItem(page(0), IDC_KEYS_SWAP), name);
    if (name == "keys-defaults") return click(GetDlgItem(page(0), IDC_KEYS_DEFAULTS), name);
    if (name == "game-defaults") return click(GetDlgItem(page(1), IDC_GAME_DEFAULTS), name);
    const int id = name == "ok" ? IDOK : name == "cancel" ? IDCANCEL : name == "apply" ? 0x3021 : 0;
    if (id == 0) fail("no button called " + name);
    click(GetDlgItem(wait_sheet(), id), name);
}

void press(const std::string& action) {
    click(key_button(action), action + "'s key");
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        HWND dialog = FindWindowW(WC_DIALOG, L"Press a key");
        if (dialog != nullptr && IsWindowVisible(dialog)) return;
        Sleep(50);
    }
    fail("the key dialog did not open for " + action);
}

// vantor-setup runs in a desktop of the tests' own: Wine starts that
// desktop's window manager process with the environment of the program
// that opens its first window, so it draws on the tests' X server whatever
// the prefix's default desktop was started with.
constexpr wchar_t kDesktop[] = L"vantor-setup-tests";

void use_desktop() {
    HDESK desktop = OpenDesktopW(kDesktop, 0, FALSE, GENERIC_ALL);
    if (desktop == nullptr) {
        desktop = CreateDesktopW(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    }
    if (desktop == nullptr || !SetThreadDesktop(desktop)) {
        fail("cannot use the desktop: error " + std::to_string(GetLastError()));
    }
}

// Starts the vantor-setup.exe beside this program.
HANDLE start() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command(path, length);
    command = L"\"" + command.substr(0, command.find_last_of(L"\\/") + 1) + L"vantor-setup.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = const_cast<wchar_t*>(kDesktop);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        fail("cannot start vantor-setup: error " + std::to_string(GetLastError()));
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

// A second vantor-setup ends at once, leaving the first one's window.
void start_again() {
    HANDLE process = start();
    DWORD code = 0;
    if (WaitForSingleObject(process, kWaitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        fail("a second vantor-setup did not end");
    }
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (code != 0) fail("a second vantor-setup ended with status " + std::to_string(code));
}

// Ends a vantor-setup that a failed case left running.
void stop() {
    for (HWND window = sheet(); window != nullptr; window = sheet()) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process == nullptr) fail("cannot stop vantor-setup");
        TerminateProcess(process, 1);
        WaitForSingleObject(process, kWaitMs);
        CloseHandle(process);
    }
}

// ---- Layout --------------------------------------------------------------------

std::wstring class_of(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

std::string describe(HWND control) {
    return "control " + std::to_string(GetDlgCtrlID(control)) + " (\"" + narrow(text_of(control)) +
           "\")";
}

// Every page of the window, drawn at `dpi`, fits on the screen, holds its
// controls inside it without overlaps, and has room for every label's and
// button's text in the dialog font at that DPI.
void expect_layout(int dpi) {
    HDC screen = GetDC(nullptr);
    const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
    if (system_dpi != dpi) fail("the screen is at " + std::to_string(system_dpi) + " DPI");
    HFONT font = CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg 2");
    const HGDIOBJ old = SelectObject(screen, font);
    const int screen_width = GetSystemMetrics(SM_CXSCREEN);
    const int screen_height = GetSystemMetrics(SM_CYSCREEN);
    RECT whole{};
    GetWindowRect(wait_sheet(), &whole);
    std::printf("setup_probe: at %d DPI the window is %ldx%ld\n", dpi, whole.right - whole.left,
                whole.bottom - whole.top);
    if (whole.right - whole.left > screen_width || whole.bottom - whole.top > screen_height) {
        fail("the window is larger than the screen, " + std::to_string(screen_width) + "x" +
             std::to_string(screen_height));
    }
    for (int index = 0; index < 2; ++index) {
        HWND sheet_page = page(index);
        RECT inside{};
        GetWindowRect(sheet_page, &inside);
        std::vector<std::pair<HWND, RECT>> controls;
        for (HWND child = GetWindow(sheet_page, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            RECT box{};
            GetWindowRect(child, &box);
            RECT clipped{};
            IntersectRect(&clipped, &box, &inside);
            if (!EqualRect(&clipped, &box)) fail(describe(child) + " reaches out of its page");
            for (const auto& [other, other_box] : controls) {
                if (IntersectRect(&clipped, &box, &other_box)) {
                    fail(describe(child) + " overlaps " + describe(other));
                }
            }
            controls.emplace_back(child, box);
            std::wstring text = text_of(child);
            text.erase(std::remove(text.begin(), text.end(), L'&'), text.end());
            const std::wstring kind = class_of(child);
            if (text.empty() || (_wcsicmp(kind.c_str(), L"Static") != 0 &&
                                 _wcsicmp(kind.c_str(), L"Button") != 0)) {
                continue;
            }
            RECT client{};
            GetClientRect(child, &client);
            RECT need = client;
            const bool button = _wcsicmp(kind.c_str(), L"Button") == 0;
            DrawTextW(screen, text.c_str(), -1, &need,
                      DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK));
            if (need.right > client.right || need.bottom > client.bottom) {
                fail(describe(child) + " has no room for its text: it needs " +
                     std::to_string(need.right) + "x" + std::to_string(need.bottom) +
                     " pixels of " + std::to_string(client.right) + "x" +
                     std::to_string(client.bottom));
            }
        }
    }
    SelectObject(screen, old);
    DeleteObject(font);
    ReleaseDC(nullptr, screen);
}

void wait_exit() {
    for (DWORD waited = 0; waited < kWaitMs; waited += 100) {
        if (sheet() == nullptr) return;
        Sleep(100);
    }
    fail("vantor-setup's window is still open");
}

}  // namespace

int main(int argc, char** argv) {
    // Sizes in the screen's pixels, as vantor-setup (DPI aware) has them.
    SetProcessDPIAware();
    use_desktop();
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) fail(step + " needs an argument");
            return argv[++i];
        };
        if (step == "reset") {
            if (SetAllDefaults() != 0) fail("SetAllDefaults failed");
        } else if (step == "write") {
            write_value(next());
        } else if (step == "expect-store") {
            expect_store(next());
        } else if (step == "start") {
            CloseHandle(start());
        } else if (step == "start-again") {
            start_again();
        } else if (step == "wait-sheet") {
            wait_sheet();
        } else if (step == "page") {
            const int index = std::atoi(next().c_str());
            SendMessageW(wait_sheet(), PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
            page(index);
        } else if (step == "press") {
            press(next());
        } else if (step == "expect-key") {
            const std::string action = next();
            expect_text(key_button(action), decode(next()), false, action + "'s key");
        } else if (step == "expect-conflict") {
            const std::string action = next();
            const Setting& setting = setting_named(action);
            expect_text(GetDlgItem(page(0), IDC_KEY_CONFLICT + row_of(setting)), decode(next()),
                        false, action + "'s conflict");
        } else if (step == "set") {
            const std::string name = next();
            const std::wstring text = decode(next());
            HWND edit = GetDlgItem(page(1), IDC_GAME_EDIT + row_of(setting_named(name)));
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        } else if (step == "click") {
            click_named(next());
        } else if (step == "expect-status") {
            const std::string which = next();
            HWND status = which == "keys" ? GetDlgItem(page(0), IDC_KEYS_STATUS)
                                          : GetDlgItem(page(1), IDC_GAME_STATUS);
            expect_text(status, decode(next()), true, which + " status");
        } else if (step == "expect-open") {
            Sleep(500);
            wait_sheet();
        } else if (step == "expect-layout") {
            expect_layout(std::atoi(next().c_str()));
        } else if (step == "stop") {
            stop();
        } else if (step == "wait-exit") {
            wait_exit();
        } else {
            fail("unknown step \"" + step + "\"");
        }
    }
    return 0;
}
