// A composite's operator tree laid out flat for the walks that evaluate it:
// each distinct calendar of the tree once, children before parents, nested
// intersections (and nested unions) merged into one node, and each repeat's
// pattern a program of its own, asked on the pattern's clock.
//   build_algebra(total(a, scale(b, 2))) -> programs[0]: [a, b, scale(1), total(0, 2)]
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/calendar.h"

namespace hourloom {

// Program: the nodes of one tree. A node is a source or an operator: a
// simple calendar (leaf) or a repeat (composition with Operator::Repeat,
// whose pattern is program `pattern`) is a source, whose capacity the walks
// read from its own sweep; any other node combines the values of its children
// children[first, first + count) with its composition's operator.
struct Program {
  struct Node {
    const Calendar* leaf = nullptr;
    const Composition* composition = nullptr;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t pattern = 0;
    bool is_source() const { return leaf != nullptr || composition->op == Operator::Repeat; }
  };
  std::vector<Node> nodes;  // children before parents; the root last
  std::vector<std::uint32_t> children;
  // leaf_intersection: the program is one intersection of leaves (nodes
  // before the root are all leaves), which a point question can stop early.
  bool leaf_intersection = false;
  // repeat: for a pattern's program, the repeat that replays it.
  const Composition* repeat = nullptr;
};

// Algebra: programs[0] is the calendar's own; the others are repeats' patterns.
struct Algebra {
  std::vector<Program> programs;
  // week: when the calendar's capacities repeat every week (its program has
  // only leaves with weekly rules alone, under operators that read no
  // instant), its states over kRulesWeek, which answer a point question
  // away from the ends of the representable dates; else empty.
  std::vector<StateWindow> week;
};

// build_algebra: the programs of a composite, built without recursion.
std::unique_ptr<Algebra> build_algebra(const Calendar& c);

// set_week: fills a.week when the calendar's program is weekly (state.cpp,
// where the walk lives). Its walk does not ask the interruption hook: the
// week is built for whichever question first needs derived data.
void set_week(Algebra& a);

// in_force: effective's component in force at t, or kClosedSwitch before the
// first switch or on a closed one.
std::int32_t in_force(const Composition& effective, Instant t);

// combine: an operator node's value at t from its children's values
// (values[k] for node k). Total and scale saturate at the largest capacity.
Capacity combine(const Program& p, const Program::Node& node, const Capacity* values, Instant t);

}  // namespace hourloom
