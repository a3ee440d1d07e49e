// "Did you mean": the one name a misspelt word most likely stands for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorctl {

// The candidate nearest to `word` when it is near enough to be a slip of
// the fingers (a few letters missing, added, changed or swapped; case,
// spaces, hyphens and underscores do not count), or nothing. Of two as
// near, the first.
std::optional<std::string> closest(std::string_view word,
                                   const std::vector<std::string>& candidates);

// `; did you mean "NAME"?` for the nearest candidate, or `otherwise` when
// none is near.
std::string did_you_mean(std::string_view word, const std::vector<std::string>& candidates,
                         const std::string& otherwise = {});

}  // namespace vantorctl
