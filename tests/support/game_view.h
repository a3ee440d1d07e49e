/*
 * Tests that touch the Windows registry themselves must look where
 * vantor.dll does: an x64 build keeps the game's keys in the 32-bit view
 * (HKLM\Software\WOW6432Node), a 32-bit build in the plain one. C and C++.
 */
#ifndef VANTOR_TEST_GAME_VIEW_H
#define VANTOR_TEST_GAME_VIEW_H

#include <string.h>
#include <windows.h>

/* Added to the access of every open and create under HKEY_LOCAL_MACHINE. */
#define VANTOR_TEST_VIEW ((REGSAM)(sizeof(void*) == 8 ? KEY_WOW64_32KEY : 0))

/*
 * Deletes the key at `path` (below HKEY_LOCAL_MACHINE, with a parent: e.g.
 * "Software\\QUORIX") and everything under it, in the game's view: 0 or
 * ERROR_FILE_NOT_FOUND when there was nothing to delete, else the status.
 */
static LONG vantor_test_delete_tree(const char* path) {
    char parent[MAX_PATH];
    const char* name = strrchr(path, '\\');
    HKEY key = NULL;
    LONG status;
    if (name == NULL || (size_t)(name - path) >= sizeof parent) return ERROR_INVALID_PARAMETER;
    memcpy(parent, path, (size_t)(name - path));
    parent[name - path] = '\0';
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, KEY_ALL_ACCESS | VANTOR_TEST_VIEW, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteTreeA(key, name + 1);
    RegCloseKey(key);
    return status;
}

#endif /* VANTOR_TEST_GAME_VIEW_H */
