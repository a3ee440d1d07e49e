// vantor.dll as the Windows loader sees it: loading and unloading, the
// export table looked up by name and by ordinal, and the version record.
// The program does not link the library: it loads it as the game does.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/game_view.h"
#include "version.h"

namespace {

constexpr const char* kModule = "vantor.dll";
constexpr const char* kQuorix = "Software\\QUORIX";

// The export table: each function under its ordinal.
constexpr const char* kExports[] = {
    "CreateRegKeys",         "GetGameConfigSettings",  "GetKeyConfigSettings",
    "SetAllDefaults",        "SetDefaultGameSettings", "SetDefaultKeySettings",
    "SetGameConfigSettings", "SetKeyConfigSettings",
};

// The library loaded for one test and unloaded after it.
class Library {
  public:
    Library() : module_(LoadLibraryA(kModule)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};

LONG delete_quorix() { return vantor_test_delete_tree(kQuorix); }

bool quorix_exists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kQuorix, 0, KEY_READ | VANTOR_TEST_VIEW, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// --- Loading ----------------------------------------------------------------

TEST(Module, LoadsAndUnloadsWithoutTouchingAMissingKey) {
    const LONG deleted = delete_quorix();
    ASSERT_TRUE(deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND);
    {
        Library library;
        ASSERT_NE(library.get(), nullptr) << "LoadLibraryA failed: " << GetLastError();
    }
    EXPECT_FALSE(quorix_exists()) << "loading created Software\\QUORIX";
    // A second load after the unload works as the first did.
    Library again;
    EXPECT_NE(again.get(), nullptr);
}

TEST(Module, LoadsAndUnloadsWithoutTouchingStoredSettings) {
    delete_quorix();
    HKEY game = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\QUORIX\\Game", 0, nullptr, 0,
                              KEY_ALL_ACCESS | VANTOR_TEST_VIEW, nullptr, &game, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExA(game, "User Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("Commander"), 9),
        ERROR_SUCCESS);
    {
        Library library;
        ASSERT_NE(library.get(), nullptr);
    }
    DWORD values = 0;
    DWORD subkeys = 0;
    ASSERT_EQ(RegQueryInfoKeyA(game, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(subkeys, 0u);
    char text[16] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(
        RegQueryValueExA(game, "User Name", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(text, "Commander");
    RegCloseKey(game);

    HKEY keyboard = nullptr;
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\QUORIX\\Keyboard", 0,
                      KEY_READ | VANTOR_TEST_VIEW, &keyboard),
        ERROR_FILE_NOT_FOUND);
    delete_quorix();
}

// --- Exports ----------------------------------------------------------------

TEST(Module, EveryExportIsFoundByNameAndByItsOrdinalAtTheSameAddress) {
    Library library;
    ASSERT_NE(library.get(), nullptr);
    WORD ordinal = 1;
    for (const char* name : kExports) {
        const FARPROC by_name = GetProcAddress(library.get(), name);
        const FARPROC by_ordinal = GetProcAddress(library.get(), MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(by_name, nullptr) << name;
        EXPECT_EQ(by_name, by_ordinal) << name << " is not ordinal " << ordinal;
        ++ordinal;
    }
    EXPECT_EQ(GetProcAddress(library.get(), MAKEINTRESOURCEA(9)), nullptr) << "ordinal 9 exists";
}

TEST(Module, DecoratedAndInternalNamesAreNotExported) {
    Library library;
    ASSERT_NE(library.get(), nullptr);
    for (const char* name : {"_CreateRegKeys", "CreateRegKeys@0", "_SetKeyConfigSettings@8",
                             "DllMain", "DllMain@12", "_DllMain@12"}) {
        EXPECT_EQ(GetProcAddress(library.get(), name), nullptr) << name;
    }
}

// --- Version record ---------------------------------------------------------

// The versions as resources/version.h gives them, and their halves as the
// record's fixed part holds them (1.0 and 0.3 of 1.0.0.3).
constexpr WORD kFileVersion[] = {VANTOR_FILE_VERSION};
constexpr WORD kProductVersion[] = {VANTOR_PRODUCT_VERSION};

constexpr DWORD high_half(const WORD (&version)[4]) {
    return static_cast<DWORD>(version[0]) << 16 | version[1];
}

constexpr DWORD low_half(const WORD (&version)[4]) {
    return static_cast<DWORD>(version[2]) << 16 | version[3];
}

class VersionRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        Library library;
        ASSERT_NE(library.get(), nullptr);
        char path[MAX_PATH] = {};
        ASSERT_NE(GetModuleFileNameA(library.get(), path, MAX_PATH), 0u);
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(path, &handle);
        ASSERT_NE(size, 0u) << "no version record: " << GetLastError();
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data_.data()));
    }

    // The value at `block`, or null when the record has none there.
    const void* value(const char* block, UINT* length) {
        void* found = nullptr;
        if (!VerQueryValueA(data_.data(), block, &found, length)) return nullptr;
        return found;
    }

    std::string text(const char* name) {
        const std::string block = std::string("\\StringFileInfo\\040904B0\\") + name;
        UINT length = 0;
        const void* found = value(block.c_str(), &length);
        if (found == nullptr) return "<missing>";
        return static_cast<const char*>(found);
    }

  private:
    std::vector<char> data_;
};

TEST_F(VersionRecord, FixedPartGivesVersionsOperatingSystemAndType) {
    UINT length = 0;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value("\\", &length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, high_half(kFileVersion));
    EXPECT_EQ(fixed->dwFileVersionLS, low_half(kFileVersion));
    EXPECT_EQ(fixed->dwProductVersionMS, high_half(kProductVersion));
    EXPECT_EQ(fixed->dwProductVersionLS, low_half(kProductVersion));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionRecord, StringsAreUnitedStatesEnglishUnicode) {
    UINT length = 0;
    const auto* translation =
        static_cast<const WORD*>(value("\\VarFileInfo\\Translation", &length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    EXPECT_EQ(text("Comments"), VANTOR_VERSION_COMMENTS);
    EXPECT_EQ(text("CompanyName"), VANTOR_VERSION_COMPANY);
    EXPECT_EQ(text("FileDescription"), VANTOR_VERSION_DESCRIPTION);
    EXPECT_EQ(text("FileVersion"), VANTOR_VERSION_TEXT(VANTOR_FILE_VERSION));
    EXPECT_EQ(text("InternalName"), VANTOR_VERSION_INTERNAL_NAME);
    EXPECT_EQ(text("OriginalFilename"), VANTOR_VERSION_ORIGINAL_FILENAME);
    EXPECT_EQ(text("ProductName"), VANTOR_VERSION_PRODUCT_NAME);
    EXPECT_EQ(text("ProductVersion"), VANTOR_VERSION_TEXT(VANTOR_PRODUCT_VERSION));
}

}  // namespace
