// Whole files in and out, bytes unchanged.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace vantor::test {

inline std::string slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace vantor::test
