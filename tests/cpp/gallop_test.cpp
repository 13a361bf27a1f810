// The galloping searches against the standard ones, on sorted runs with
// repeats, from every end, for values inside, between and beyond them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "time/gallop.h"

namespace hourloom {
namespace {

TEST(Gallop, FindsWhatTheStandardSearchesFind) {
  std::mt19937 rng(29);
  for (int n = 0; n < 40; ++n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int& x : v) x = static_cast<int>(rng() % 12) * 2;
    std::sort(v.begin(), v.end());
    for (std::size_t k = 0; k <= v.size(); ++k)
      for (int x = -1; x <= 24; ++x) {
        const auto from = v.begin() + static_cast<std::ptrdiff_t>(k);
        EXPECT_EQ(gallop_lower_bound(from, v.end(), x), std::lower_bound(from, v.end(), x));
        EXPECT_EQ(gallop_upper_bound_back(v.begin(), from, x), std::upper_bound(v.begin(), from, x));
      }
  }
}

}  // namespace
}  // namespace hourloom
