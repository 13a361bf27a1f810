// The composite walk against a minute-by-minute model: seeded random trees of
// every operator over minute-aligned calendars, each answer checked minute by
// minute, through the walk of whole and part ranges and the point question.
#include <functional>
#include <random>

#include "engine/state.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;

constexpr Capacity kMost = 2147483647;
using Model = std::function<Capacity(Instant)>;

struct Tree {
  Calendar c;
  Model capacity;
};

Instant minute(std::int64_t m) { return *(mon(0) + Duration::FromSeconds(60 * m)); }

// random_tree: depth levels of operators over small weekly calendars.
Tree random_tree(std::mt19937& rng, int depth) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  if (depth == 0 || pick(4) == 0) {
    Calendar c;
    for (int i = pick(6) + 3; i > 0; --i)
      (void)add_open_rule(c, static_cast<std::uint8_t>(pick(7)), hm(static_cast<unsigned>(pick(12))),
                          hm(static_cast<unsigned>(12 + pick(12)), 30));
    (void)add_capacity_override(c, minute(pick(15000)), minute(15000 + pick(5000)), pick(4));
    (void)set_default_capacity(c, pick(4) == 0 ? 0 : 1 + pick(2));
    return {c, [c](Instant t) { return get_capacity_at(c, t); }};
  }
  Tree a = random_tree(rng, depth - 1), b = random_tree(rng, depth - 1);
  Composition k;
  k.op = static_cast<Operator>(pick(8));
  Model fa = a.capacity, fb = b.capacity, f;
  k.components = {a.c};
  switch (k.op) {
    case Operator::Intersection: f = [=](Instant t) { return std::min(fa(t), fb(t)); }; break;
    case Operator::Union: f = [=](Instant t) { return std::max(fa(t), fb(t)); }; break;
    case Operator::Total: f = [=](Instant t) { return static_cast<Capacity>(std::min<std::int64_t>(std::int64_t{fa(t)} + fb(t), kMost)); }; break;
    case Operator::Difference: f = [=](Instant t) { return fb(t) == 0 ? fa(t) : 0; }; break;
    case Operator::Scale:
      k.factor = pick(2) ? kMost : pick(3);
      f = [=, n = k.factor](Instant t) { return static_cast<Capacity>(std::min<std::int64_t>(std::int64_t{n} * fa(t), kMost)); };
      break;
    case Operator::Within:
      k.window = {minute(pick(8000)), minute(8000 + pick(8000))};
      f = [=, w = k.window](Instant t) { return contains(w, t) ? fa(t) : 0; };
      break;
    case Operator::Effective:
      k.switches = {{minute(pick(3000)), 0}, {minute(3000 + pick(3000)), kClosedSwitch}, {minute(7000), 1}};
      f = [=, s = k.switches](Instant t) { return t < s[0].from ? 0 : t < s[1].from ? fa(t) : t < s[2].from ? 0 : fb(t); };
      break;
    case Operator::Repeat:
      k.anchor = minute(pick(20000) - 10000);
      k.period = Duration::FromSeconds(60 * (1 + pick(3 * 1440)));
      f = [=, anchor = k.anchor, period = k.period](Instant t) {
        const std::int64_t p = period.seconds(), into = ((t - anchor).seconds() % p + p) % p;
        return fa(*(anchor + Duration::FromSeconds(into)));
      };
      break;
  }
  if (k.op == Operator::Intersection || k.op == Operator::Union || k.op == Operator::Total ||
      k.op == Operator::Difference || k.op == Operator::Effective)
    k.components.push_back(b.c);
  return {*compose(std::move(k)), f};
}

TEST(CompositeWalk, EveryOperatorMatchesTheMinuteModel) {
  std::mt19937 rng(7);
  constexpr std::int64_t kMinutes = 14 * 1440;
  for (int trial = 0; trial < 60; ++trial) {
    const Tree tree = random_tree(rng, 3);
    std::vector<Capacity> expected(kMinutes);
    for (std::int64_t m = 0; m < kMinutes; ++m) expected[static_cast<std::size_t>(m)] = tree.capacity(minute(m));
    // The whole range, and a part that starts and ends inside it.
    const std::int64_t from = static_cast<std::int64_t>(rng() % 3000), to = kMinutes - static_cast<std::int64_t>(rng() % 3000);
    for (auto [a, b] : {std::pair<std::int64_t, std::int64_t>{0, kMinutes}, {from, to}}) {
      auto states = state_windows(tree.c, minute(a), minute(b));
      ASSERT_TRUE(states);
      ASSERT_EQ(states->front().window.start, minute(a));
      ASSERT_EQ(states->back().window.end, minute(b));
      for (std::size_t i = 1; i < states->size(); ++i) {
        ASSERT_EQ((*states)[i - 1].window.end, (*states)[i].window.start);
        ASSERT_NE((*states)[i - 1].capacity, (*states)[i].capacity);
      }
      for (const StateWindow& s : *states)
        for (Instant t = s.window.start; t < s.window.end; t = *(t + Duration::FromSeconds(60)))
          ASSERT_EQ(s.capacity, expected[static_cast<std::size_t>((t - minute(0)).seconds() / 60)])
              << "trial " << trial << " at " << format_instant(t);
    }
    for (std::int64_t m = 0; m < kMinutes; m += 7) ASSERT_EQ(get_capacity_at(tree.c, minute(m)), expected[static_cast<std::size_t>(m)]);
  }
}

}  // namespace
}  // namespace hourloom
