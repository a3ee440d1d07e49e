// A hive of the test's own: a fresh folder under the temporary folder
// ($TMPDIR, or /tmp), named by VANTOR_REGISTRY, removed with everything in
// it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vantor::test {

// Makes a folder of its own under the temporary folder; "" when it cannot.
inline std::string make_temp_folder() {
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "vantor-test-XXXXXX").string();
    if (error || ::mkdtemp(pattern.data()) == nullptr) return "";
    return pattern;
}

inline void remove_folder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Each test gets a hive at `hive` (a path such as "system.reg") inside a
// folder of its own, named by VANTOR_REGISTRY for the test's duration.
class TempHiveTest : public ::testing::Test {
  protected:
    explicit TempHiveTest(std::string hive = "system.reg") : relative_(std::move(hive)) {}

    void SetUp() override {
        folder_ = make_temp_folder();
        ASSERT_FALSE(folder_.empty()) << "no temporary folder";
        hive_ = folder_ + "/" + relative_;
        ::setenv("VANTOR_REGISTRY", hive_.c_str(), 1);
    }

    void TearDown() override {
        ::unsetenv("VANTOR_REGISTRY");
        remove_folder(folder_);
    }

    std::string folder_;
    std::string hive_;

  private:
    std::string relative_;
};

}  // namespace vantor::test
