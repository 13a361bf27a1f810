// Seeded differential tests. Random small calendars (simple and composite,
// nested composites, overnight rules, rules ending at midnight, Capacity
// entries re-set in place, capacity 0) are evaluated three ways:
//   - the engine's sweeps,
//   - a plain minute-by-minute model on minute-aligned calendars,
//   - the straightforward reference algorithms of reference_model.h,
// and every answer must agree.
#include <random>
#include <string>

#include "engine/expansion.h"
#include "engine/state.h"
#include "reference_model.h"
#include "test_support.h"

namespace hourloom {
namespace {

using namespace test;

// plus: t + d for sums the tests know to be representable.
Instant plus(Instant t, Duration d) { return (t + d).value(); }
Instant plus_seconds(Instant t, std::int64_t s) { return plus(t, Duration::FromSeconds(s)); }

class Gen {
 public:
  explicit Gen(std::uint64_t seed) : rng_(seed) {}

  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return uniform(0, 99) < percent; }

  // Instants on a grid of `unit` seconds from the Saturday before the
  // reference Monday, spanning about six days; with fine = true, any second
  // and nanosecond instead.
  Instant instant(bool fine) {
    const Instant base = at(day(-2));
    if (!fine) return plus_seconds(base, std::int64_t{uniform(0, 6 * 48)} * 1800);
    const std::int64_t s = std::int64_t{uniform(0, 6 * 86'400)};
    const auto n = static_cast<std::uint32_t>(uniform(0, 2) == 0 ? 0 : uniform(0, 999'999'999));
    return plus(base, Duration::FromNormalized(s, n));
  }
  TimeWindow window(bool fine) {
    Instant a = instant(fine);
    Duration len = fine ? Duration::FromNormalized(uniform(0, 12 * 3600), static_cast<std::uint32_t>(uniform(0, 999)))
                        : Duration::FromSeconds(std::int64_t{uniform(0, 24)} * 1800);
    if (chance(10)) len = Duration::Zero();
    return {a, plus(a, len)};
  }
  TimeOfDay time(bool fine) {
    const auto nanos = static_cast<std::uint32_t>(uniform(0, 9));
    if (fine) return TimeOfDay::FromSeconds(static_cast<std::uint32_t>(uniform(0, 86'399)), nanos).value();
    return TimeOfDay::FromSeconds(static_cast<std::uint32_t>(uniform(0, 47)) * 1800).value();
  }
  Capacity capacity() { return chance(20) ? 0 : uniform(1, 4); }

  Calendar simple(bool fine) {
    Calendar c;
    auto rule_times = [&](TimeOfDay& s, TimeOfDay& e) {
      s = time(fine);
      e = chance(25) ? TimeOfDay{} : time(fine);
      if (s == e) e = TimeOfDay::FromSeconds((s.seconds() + 1800) % 86'400, s.nanos()).value();
    };
    for (int i = uniform(0, 4); i > 0; --i) {
      TimeOfDay s, e;
      rule_times(s, e);
      EXPECT_TRUE(add_open_rule(c, static_cast<std::uint8_t>(uniform(0, 6)), s, e));
    }
    for (int i = uniform(0, 2); i > 0; --i) {
      TimeOfDay s, e;
      rule_times(s, e);
      EXPECT_TRUE(add_break_rule(c, static_cast<std::uint8_t>(uniform(0, 6)), s, e));
    }
    for (int i = uniform(0, 2); i > 0; --i) {
      TimeWindow w = window(fine);
      EXPECT_TRUE(add_open_window(c, w.start, w.end));
    }
    for (int i = uniform(0, 2); i > 0; --i) {
      TimeWindow w = window(fine);
      EXPECT_TRUE(add_closed_window(c, w.start, w.end));
    }
    if (chance(20)) {
      EXPECT_TRUE(add_holiday(c, day(uniform(-2, 3))));
    }
    for (int i = uniform(0, 3); i > 0; --i) {
      TimeWindow w = window(fine);
      EXPECT_TRUE(add_capacity_override(c, w.start, w.end, capacity()));
    }
    // Entries from a small id pool, so that ids are re-set in place and
    // change kind; now and then one is removed.
    for (int i = uniform(0, 7); i > 0; --i) {
      const std::string id(1, static_cast<char>('a' + uniform(0, 3)));
      if (chance(10)) {
        EXPECT_TRUE(remove_entry(c, id));
        continue;
      }
      const auto kind = static_cast<EntryKind>(uniform(0, 2));
      const Capacity cap = kind == EntryKind::WithCapacity ? capacity() : uniform(-2, 3);
      TimeWindow w = window(fine);
      EXPECT_TRUE(set_entry(c, id, kind, w.start, w.end, cap));
    }
    const int d = uniform(0, 9);
    EXPECT_TRUE(set_default_capacity(c, d == 0 ? 0 : d <= 6 ? 1 : uniform(2, 3)));
    return c;
  }

  Calendar any(bool fine, int depth) {
    if (depth == 0 || chance(60)) return simple(fine);
    std::vector<Calendar> parts;
    for (int i = uniform(1, 3); i > 0; --i) parts.push_back(any(fine, depth - 1));
    return make_composite(std::move(parts));
  }

 private:
  std::mt19937_64 rng_;
};

// model_states: minute-by-minute runs of equal capacity over [a, b), both
// on whole minutes.
std::vector<StateWindow> model_states(const Calendar& c, Instant a, Instant b) {
  std::vector<StateWindow> out;
  for (Instant t = a; t < b;) {
    const Instant next = plus_seconds(t, 60);
    ref::append_joined(out, t, next, ref::capacity_at(c, t));
    t = next;
  }
  return out;
}

std::vector<TimeWindow> windows_at_least(const std::vector<StateWindow>& states, Capacity minimum) {
  std::vector<TimeWindow> out;
  for (const StateWindow& s : states)
    if (s.capacity >= minimum) out.push_back(s.window);
  return ref::merge(std::move(out));
}

// compare_all: every engine answer over [a, b) against the reference, plus
// the coverage questions over the range.
void compare_all(const Calendar& c, Instant a, Instant b) {
  const TimeWindow range{a, b};
  const auto fast = state_windows(c, a, b);
  ASSERT_TRUE(fast);
  ASSERT_TRUE(check_state_windows(*fast, a, b));
  const std::vector<StateWindow> reference = ref::state_windows(c, range);
  ASSERT_EQ(*fast, reference);

  for (Capacity m = 1; m <= 4; ++m) {
    EXPECT_EQ(get_capacity_windows(c, a, b, m).value(), ref::capacity_windows(c, range, m)) << "minimum " << m;
    const bool covered = is_empty(range) || covers(range, windows_at_least(reference, m));
    EXPECT_EQ(window_has_capacity(c, range, m).value(), covered);
  }
  EXPECT_EQ(get_open_windows(c, a, b).value(), ref::capacity_windows(c, range, 1));
  EXPECT_EQ(get_unavailable_windows(c, a, b).value(), ref::unavailable_windows(c, range));
  EXPECT_EQ(window_can_work(c, range).value(), is_empty(range) || covers(range, windows_at_least(reference, 1)));
  if (!c.is_composite()) {
    EXPECT_EQ(calendar_windows(c, range), ref::calendar_windows(c, range));
    EXPECT_EQ(expand_rules(c.open_rules, range), ref::expand_rules(c.open_rules, range));
    EXPECT_EQ(expand_rules(c.break_rules, range), ref::expand_rules(c.break_rules, range));
  }
  for (const StateWindow& s : *fast) EXPECT_EQ(get_capacity_at(c, s.window.start), s.capacity);
}

TEST(Differential, MinuteModelOnMinuteAlignedCalendars) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Gen g(seed);
    const Calendar c = g.any(false, 2);
    // A whole-minute range of up to three days, sometimes empty.
    const Instant a = plus_seconds(at(day(-2)), std::int64_t{g.uniform(0, 4 * 1440)} * 60);
    const Instant b = plus_seconds(a, std::int64_t{g.uniform(0, 3 * 1440)} * 60);

    const std::vector<StateWindow> model = model_states(c, a, b);
    const auto fast = state_windows(c, a, b);
    ASSERT_TRUE(fast);
    ASSERT_EQ(*fast, model);
    for (const StateWindow& s : model)
      for (Instant t = s.window.start; t < s.window.end; t = plus_seconds(t, 60)) {
        ASSERT_EQ(get_capacity_at(c, t), s.capacity) << format_instant(t);
        ASSERT_EQ(get_capacity_at(c, plus_seconds(t, 59)), s.capacity);
      }
    compare_all(c, a, b);
  }
}

TEST(Differential, ReferenceOnFineGrainedCalendars) {
  // Instants with arbitrary seconds and nanoseconds: boundaries meet rarely,
  // but one-nanosecond gaps and overlaps appear.
  for (std::uint64_t seed = 1000; seed < 1300; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Gen g(seed);
    const Calendar c = g.any(true, 2);
    TimeWindow range = g.window(true);
    if (g.chance(50)) range.end = plus_seconds(range.end, 86'400 * g.uniform(0, 2));
    compare_all(c, range.start, range.end);
  }
}

TEST(Differential, ManyLayersOverSeveralWeeks) {
  for (std::uint64_t seed = 2000; seed < 2060; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Gen g(seed);
    Calendar c = g.simple(false);
    for (int i = 0; i < 40; ++i) {
      TimeWindow w = g.window(false);
      ASSERT_TRUE(add_capacity_override(c, w.start, w.end, g.capacity()));
      w = g.window(false);
      const std::string id(1, static_cast<char>('A' + g.uniform(0, 25)));
      ASSERT_TRUE(set_entry(c, id, EntryKind::WithCapacity, w.start, w.end, g.capacity()));
    }
    ASSERT_TRUE(add_open_rule(c, static_cast<std::uint8_t>(g.uniform(0, 6)), hm(6), hm(2)));
    compare_all(c, at(day(-9)), at(day(20), 13));
    compare_all(make_composite({c, g.simple(false)}), at(day(-3)), at(day(9)));
  }
}

TEST(Differential, SplittingTheRangeOnlyJoinsAtTheCut) {
  for (std::uint64_t seed = 3000; seed < 3200; ++seed) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    Gen g(seed);
    const Calendar c = g.any(g.chance(30), 2);
    Instant a = g.instant(false), b = g.instant(true), m = g.instant(g.chance(50));
    if (b < a) std::swap(a, b);
    m = std::clamp(m, a, b);
    auto whole = state_windows(c, a, b).value();
    auto left = state_windows(c, a, m).value();
    const auto right = state_windows(c, m, b).value();
    for (const StateWindow& s : right)
      ref::append_joined(left, s.window.start, s.window.end, s.capacity);
    EXPECT_EQ(whole, left);
  }
}

TEST(Differential, MergeMatchesReference) {
  for (std::uint64_t seed = 4000; seed < 4200; ++seed) {
    Gen g(seed);
    std::vector<TimeWindow> in;
    for (int i = g.uniform(0, 30); i > 0; --i) {
      TimeWindow w = g.window(g.chance(20));
      if (g.chance(5)) std::swap(w.start, w.end);  // reversed windows are dropped
      in.push_back(w);
    }
    EXPECT_EQ(merge(in), ref::merge(in)) << "seed " << seed;
  }
}

}  // namespace
}  // namespace hourloom
