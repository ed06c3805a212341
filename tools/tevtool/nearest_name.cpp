#include "nearest_name.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace TevTool {
namespace {

char Fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Edit distance in which a change of letter case costs nothing; ties are broken by exact
// spelling in the caller.
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t cost = Fold(a[i - 1]) == Fold(b[j - 1]) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string NearestName(std::string_view name, std::span<const std::string_view> known) {
  // Long manifest texts are no misspelt names; comparing them would only cost time.
  if (name.size() > 64) return {};
  std::string_view best;
  std::size_t bestDistance = 0;
  for (const std::string_view candidate : known) {
    if (candidate == name) continue;
    const std::size_t distance = Distance(name, candidate);
    if (best.empty() || distance < bestDistance) {
      best = candidate;
      bestDistance = distance;
    }
  }
  // About one edit in three characters still reads as the same word.
  const std::size_t limit = std::max<std::size_t>(1, std::max(name.size(), best.size()) / 3);
  if (best.empty() || bestDistance > limit) return {};
  return std::string(best);
}

}  // namespace TevTool
