// The stored items in force, through the index and by plain scan, on random
// calendars below and above the size that gets an index, edited in between.
#include <algorithm>
#include <random>

#include "engine/derived.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;

TEST(StoredItems, IndexAndScanAgreeThroughEdits) {
  std::mt19937 rng(7);
  auto minute = [&] { return (mon(0) + Duration::FromSeconds(60 * (rng() % 600))).value(); };
  for (int items : {3, 5, 12, 90}) {  // 3 stays below the index threshold
    Calendar c;
    for (int k = 0; k < 2 * items; ++k) {
      Instant a = minute(), b = minute();
      if (b < a) std::swap(a, b);
      const std::string id = std::to_string(rng() % static_cast<unsigned>(items));
      switch (k < items ? rng() % 6 : 6) {  // half of the additions are entries, then only removals
        case 0: ASSERT_TRUE(add_open_window(c, a, b)); break;
        case 1: ASSERT_TRUE(add_closed_window(c, a, b)); break;
        case 2: ASSERT_TRUE(add_capacity_override(c, a, b, static_cast<Capacity>(rng() % 3))); break;
        case 6: ASSERT_TRUE(remove_entry(c, id)); break;
        default: ASSERT_TRUE(set_entry(c, id, static_cast<EntryKind>(rng() % 3), a, b, static_cast<Capacity>(k)));
      }
      const Instant t = minute();
      const TimeWindow hour{t, (t + Duration::FromSeconds(3600)).value()};
      for (bool range : {false, true}) {
        std::vector<std::tuple<ItemKind, std::uint32_t, Capacity>> seen[2];
        const StoredItems sources[2] = {StoredItems(c), StoredItems(c, StoredItems::Scan{})};
        for (int s = 0; s < 2; ++s) {
          auto note = [&](const IndexedItem& it) { seen[s].emplace_back(it.kind, it.order, it.capacity); };
          range ? sources[s].over(hour, note) : sources[s].at(t, note);
          std::sort(seen[s].begin(), seen[s].end());
        }
        EXPECT_EQ(seen[0], seen[1]);
      }
    }
    EXPECT_EQ(StoredItems(c).indexed(), items > 3);
  }
}

}  // namespace
}  // namespace hourloom
