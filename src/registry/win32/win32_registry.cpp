// The registry operations on Windows: straight calls into advapi32's ANSI
// functions under HKEY_LOCAL_MACHINE. A Key is the HKEY itself; nothing is
// allocated, so nothing here can fail for lack of memory.
//
// The game is a 32-bit program: on 64-bit Windows its keys live in the
// 32-bit registry view (HKLM\Software\WOW6432Node). A 64-bit build asks for
// that view on every open and create, so that it reads and writes the keys
// the game does; a 32-bit build is in that view already and asks for
// nothing more.
#include <windows.h>

#include "registry/registry.h"

namespace vantor::reg {
namespace {

constexpr REGSAM kGameView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0;

HKEY handle(Key* key) noexcept { return reinterpret_cast<HKEY>(key); }

Key* wrap(HKEY key) noexcept { return reinterpret_cast<Key*>(key); }

}  // namespace

Status open_key(const char* path, Access access, Key** key) noexcept {
    const REGSAM desired = (access == Access::kRead ? KEY_READ : KEY_ALL_ACCESS) | kGameView;
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, desired, &opened);
    if (status == ERROR_SUCCESS) *key = wrap(opened);
    return static_cast<Status>(status);
}

Status create_key(const char* path, Key** key) noexcept {
    HKEY created = nullptr;
    const LONG status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | kGameView, nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) *key = wrap(created);
    return static_cast<Status>(status);
}

Status create_new_key(const char* path, Key** key) noexcept {
    HKEY created = nullptr;
    DWORD disposition = 0;
    const LONG status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | kGameView, nullptr, &created, &disposition);
    if (status != ERROR_SUCCESS) return static_cast<Status>(status);
    if (disposition != REG_CREATED_NEW_KEY) {
        RegCloseKey(created);
        return kAlreadyExists;
    }
    *key = wrap(created);
    return kSuccess;
}

Status query_value(Key* key, const char* name, void* data, std::uint32_t* size) noexcept {
    DWORD length = *size;
    const LONG status =
        RegQueryValueExA(handle(key), name, nullptr, nullptr, static_cast<BYTE*>(data), &length);
    *size = length;
    return static_cast<Status>(status);
}

Status set_value(Key* key, const char* name, std::uint32_t type, const void* data,
                 std::uint32_t size) noexcept {
    return static_cast<Status>(
        RegSetValueExA(handle(key), name, 0, type, static_cast<const BYTE*>(data), size));
}

Status close_key(Key* key) noexcept { return static_cast<Status>(RegCloseKey(handle(key))); }

}  // namespace vantor::reg
