#include "suggest.h"

#include <algorithm>

namespace vantorctl {
namespace {

std::string folded(std::string_view word) {
    std::string out;
    for (const char c : word) {
        if (c == ' ' || c == '-' || c == '_') continue;
        out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    return out;
}

// The edits that turn `a` into `b`: letters inserted, deleted or changed,
// and two neighbours swapped ("Fier" and "Fire" are one apart).
std::size_t distance(const std::string& a, const std::string& b) {
    const std::size_t columns = b.size() + 1;
    std::vector<std::size_t> d((a.size() + 1) * columns);
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& {
        return d[i * columns + j];
    };
    for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
    for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
            }
        }
    }
    return at(a.size(), b.size());
}

}  // namespace

std::optional<std::string> closest(std::string_view word,
                                   const std::vector<std::string>& candidates) {
    const std::string wanted = folded(word);
    if (wanted.empty()) return std::nullopt;
    // One slip in a short word, two in a longer one, three in a long one.
    const std::size_t allowed = wanted.size() <= 3 ? 1 : wanted.size() <= 7 ? 2 : 3;
    std::optional<std::string> best;
    std::size_t best_distance = allowed + 1;
    for (const std::string& candidate : candidates) {
        const std::size_t d = distance(wanted, folded(candidate));
        if (d < best_distance) {
            best_distance = d;
            best = candidate;
        }
    }
    return best;
}

std::string did_you_mean(std::string_view word, const std::vector<std::string>& candidates,
                         const std::string& otherwise) {
    if (const auto name = closest(word, candidates)) return "; did you mean \"" + *name + "\"?";
    return otherwise;
}

}  // namespace vantorctl
