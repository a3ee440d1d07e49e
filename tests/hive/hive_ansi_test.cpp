// The codec's windows-1252 conversions (hive/charset.h) against the
// registry's own ANSI calls, on Windows (under Wine in the test suite): what
// RegSetValueExA stores for every byte, and what RegQueryValueExA returns
// for every UTF-16 unit, are what the codec says they are.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "hive/charset.h"

namespace vantor::hive {
namespace {

constexpr const char* kKey = "Software\\QUORIX\\AnsiTest";

class AnsiCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }

    // The bytes a value holds, as RegQueryValueExW returns them.
    std::string stored(const wchar_t* name) {
        DWORD type = 0;
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        std::string data(size, '\0');
        EXPECT_EQ(
            RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size),
            ERROR_SUCCESS);
        data.resize(size);
        return data;
    }

    HKEY key_ = nullptr;
};

// RegSetValueExA converts each of the 255 bytes of a string as the codec
// does, adding the NUL the caller did not count only when one follows.
TEST_F(AnsiCalls, SetStoresWhatTheCodecSays) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    ASSERT_EQ(RegSetValueExA(key_, "All", 0, REG_SZ, reinterpret_cast<const BYTE*>(all.c_str()),
                             static_cast<DWORD>(all.size())),
              ERROR_SUCCESS);
    EXPECT_EQ(stored(L"All"), ansi_string_data(all, true));

    const char unterminated[] = "abcd";
    ASSERT_EQ(
        RegSetValueExA(key_, "Three", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 3),
        ERROR_SUCCESS);
    EXPECT_EQ(stored(L"Three"), ansi_string_data("abc", false));
    ASSERT_EQ(RegSetValueExA(key_, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0),
              ERROR_SUCCESS);
    EXPECT_EQ(stored(L"Empty"), ansi_string_data("", true));
}

// RegQueryValueExA gives each UTF-16 unit the byte the codec gives it:
// windows-1252's own, Windows' best fit, or "?"; a lone surrogate too.
TEST_F(AnsiCalls, QueryReturnsWhatTheCodecSays) {
    std::wstring units;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        units.push_back(static_cast<wchar_t>(unit));
        units.push_back(L'x');  // keeps each surrogate alone
    }
    const DWORD size = static_cast<DWORD>((units.size() + 1) * sizeof(wchar_t));
    ASSERT_EQ(RegSetValueExW(key_, L"Units", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(units.c_str()), size),
              ERROR_SUCCESS);
    const std::string data = stored(L"Units");
    std::string bytes(data.size(), '\0');
    DWORD got = static_cast<DWORD>(bytes.size());
    DWORD type = 0;
    ASSERT_EQ(
        RegQueryValueExA(key_, "Units", nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &got),
        ERROR_SUCCESS);
    bytes.resize(got);
    const std::string expected = ansi_string_query(data);
    ASSERT_EQ(bytes.size(), expected.size());
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        EXPECT_EQ(bytes[i], expected[i]) << "U+" << std::hex << (i / 2 + 1);
    }
    EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace vantor::hive
