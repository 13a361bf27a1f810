// Search chunks: the forward walk's pieces and their overlaps. The searches
// themselves are pinned against the minute model in the Python suite.
#include "engine/search.h"

#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;
using Windows = std::vector<TimeWindow>;

Duration days(std::int64_t n) { return Duration::FromSeconds(n * kSecondsPerDay); }
Instant mon_plus(std::int64_t n) { return at(day(static_cast<int>(n))); }

TEST(SearchChunks, OverlapAndLength) {
  // Zero overlap: consecutive weeks, the last one cut at the end.
  EXPECT_EQ(search_chunks(mon(0), mon_plus(10), Duration::Zero()),
            (Windows{win(mon(0), mon_plus(7)), win(mon_plus(7), mon_plus(10))}));
  // One day of overlap: each chunk starts a day before the previous one ends.
  EXPECT_EQ(search_chunks(mon(0), mon_plus(15), days(1)),
            (Windows{win(mon(0), mon_plus(7)), win(mon_plus(6), mon_plus(13)), win(mon_plus(12), mon_plus(15))}));
  // Beyond half a week the chunks are overlap + 7 days long, so they advance by a week.
  const Duration four = days(4);
  EXPECT_EQ(search_chunks(mon(0), mon_plus(20), four),
            (Windows{win(mon(0), mon_plus(11)), win(mon_plus(7), mon_plus(18)), win(mon_plus(14), mon_plus(20))}));
  EXPECT_EQ(search_chunks(mon(0), mon_plus(20), days(7)),
            (Windows{win(mon(0), mon_plus(14)), win(mon_plus(7), mon_plus(20))}));
  EXPECT_TRUE(search_chunks(mon(0), mon(0), days(1)).empty());
}

TEST(SearchChunks, HugeOverlapEndsAtTheEnd) {
  EXPECT_EQ(search_chunks(mon(0), mon_plus(30), Duration::Max()), (Windows{win(mon(0), mon_plus(30))}));
  EXPECT_EQ(search_chunks(Instant::Max(), Instant::Max(), Duration::Max()), Windows{});
  EXPECT_EQ(capped_add(Instant::Max(), Duration::Max(), Instant::Max()), Instant::Max());
}

}  // namespace
}  // namespace hourloom
