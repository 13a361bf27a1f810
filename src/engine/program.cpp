#include "engine/program.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "engine/derived.h"
#include "engine/state.h"

namespace hourloom {

namespace {

constexpr std::int64_t kMostCapacity = std::numeric_limits<Capacity>::max();

// identity: what makes two calendars of a tree the same node: a composite's
// shared composition, or a simple calendar's own address.
const void* identity(const Calendar& c) {
  return c.composition() ? static_cast<const void*>(c.composition()) : static_cast<const void*>(&c);
}

// merges: operators whose nested nodes of the same operator are one node:
// they are associative and idempotent, so their distinct operands suffice.
bool merges(Operator op) { return op == Operator::Intersection || op == Operator::Union; }

// operands_of: the children of c's node: its components, or for a merging
// operator the distinct operands of the nested nodes of the same operator.
std::vector<const Calendar*> operands_of(const Calendar& c) {
  const Composition& k = *c.composition();
  std::vector<const Calendar*> out;
  if (!merges(k.op)) {
    out.reserve(k.components.size());
    for (const Calendar& part : k.components) out.push_back(&part);
    return out;
  }
  std::unordered_set<const void*> seen;
  std::vector<const Calendar*> pending{&c};
  while (!pending.empty()) {
    const Calendar* at = pending.back();
    pending.pop_back();
    if (!seen.insert(identity(*at)).second) continue;
    if (at->composition() && at->composition()->op == k.op) {
      const std::vector<Calendar>& parts = at->components();
      for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back(&*part);
    } else {
      out.push_back(at);
    }
  }
  return out;
}

// Builder: programs are built in the order they are first needed; a
// repeat's pattern gets its number when the repeat is first met.
class Builder {
 public:
  explicit Builder(const Calendar& root) {
    roots_.push_back(&root);
    repeats_.push_back(nullptr);
  }

  std::unique_ptr<Algebra> build() {
    auto a = std::make_unique<Algebra>();
    for (std::size_t p = 0; p < roots_.size(); ++p) {
      a->programs.push_back(program(*roots_[p]));
      a->programs.back().repeat = repeats_[p];
    }
    return a;
  }

 private:
  std::uint32_t pattern_of(const Composition& repeat) {
    auto [it, added] = patterns_.try_emplace(&repeat, static_cast<std::uint32_t>(roots_.size()));
    if (added) {
      roots_.push_back(&repeat.components.front());
      repeats_.push_back(&repeat);
    }
    return it->second;
  }

  // program: the nodes of root's tree by an explicit depth-first walk: a
  // node is added once all its operands are.
  Program program(const Calendar& root) {
    Program p;
    std::unordered_map<const void*, std::uint32_t> index;
    struct Frame {
      const Calendar* c;
      bool expanded = false;
      std::vector<const Calendar*> operands;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{&root, false, {}});
    while (!stack.empty()) {
      const Calendar& c = *stack.back().c;
      const void* id = identity(c);
      if (index.contains(id)) {
        stack.pop_back();
        continue;
      }
      Program::Node node;
      const Composition* k = c.composition();
      if (!k) {
        node.leaf = &c;
      } else if (k->op == Operator::Repeat) {
        node.composition = k;
        node.pattern = pattern_of(*k);
      } else if (!stack.back().expanded) {
        stack.back().expanded = true;
        stack.back().operands = operands_of(c);
        const std::vector<const Calendar*> operands = stack.back().operands;
        for (auto op = operands.rbegin(); op != operands.rend(); ++op)
          if (!index.contains(identity(**op))) stack.push_back(Frame{*op, false, {}});
        continue;
      } else {
        node.composition = k;
        node.first = static_cast<std::uint32_t>(p.children.size());
        for (const Calendar* op : stack.back().operands) p.children.push_back(index.at(identity(*op)));
        node.count = static_cast<std::uint32_t>(p.children.size()) - node.first;
      }
      index.emplace(id, static_cast<std::uint32_t>(p.nodes.size()));
      p.nodes.push_back(node);
      stack.pop_back();
    }
    const Program::Node& top = p.nodes.back();
    p.leaf_intersection = top.composition && top.composition->op == Operator::Intersection &&
                          std::all_of(p.nodes.begin(), p.nodes.end() - 1, [](const Program::Node& n) { return n.leaf; });
    return p;
  }

  std::vector<const Calendar*> roots_;
  std::vector<const Composition*> repeats_;
  std::unordered_map<const Composition*, std::uint32_t> patterns_;
};

// weekly: whether a node's capacities repeat every week.
bool weekly(const Program::Node& n) {
  if (n.leaf) return stored_items(*n.leaf) == 0;
  switch (n.composition->op) {
    case Operator::Intersection:
    case Operator::Union:
    case Operator::Total:
    case Operator::Difference:
    case Operator::Scale: return true;
    default: return false;
  }
}

}  // namespace

std::unique_ptr<Algebra> build_algebra(const Calendar& c) {
  auto a = Builder(c).build();
  const std::vector<Program::Node>& nodes = a->programs[0].nodes;
  if (std::all_of(nodes.begin(), nodes.end(), weekly)) set_week(*a);
  return a;
}

std::int32_t in_force(const Composition& effective, Instant t) {
  const std::vector<Switch>& s = effective.switches;
  auto after = std::upper_bound(s.begin(), s.end(), t, [](Instant x, const Switch& w) { return x < w.from; });
  return after == s.begin() ? kClosedSwitch : std::prev(after)->component;
}

Capacity combine(const Program& p, const Program::Node& node, const Capacity* values, Instant t) {
  const std::uint32_t* child = p.children.data() + node.first;
  const Composition& k = *node.composition;
  switch (k.op) {
    case Operator::Intersection: {
      Capacity v = kNoComponents;
      for (std::uint32_t i = 0; i < node.count; ++i) v = combine_capacity(v, values[child[i]]);
      return v;
    }
    case Operator::Union: {
      Capacity v = 0;
      for (std::uint32_t i = 0; i < node.count; ++i) v = std::max(v, values[child[i]]);
      return v;
    }
    case Operator::Total: {
      std::int64_t sum = 0;
      for (std::uint32_t i = 0; i < node.count; ++i) sum = std::min(sum + values[child[i]], kMostCapacity);
      return static_cast<Capacity>(sum);
    }
    case Operator::Difference:
      return values[child[1]] == 0 ? values[child[0]] : 0;
    case Operator::Scale:
      return static_cast<Capacity>(std::min(std::int64_t{k.factor} * values[child[0]], kMostCapacity));
    case Operator::Within:
      return contains(k.window, t) ? values[child[0]] : 0;
    case Operator::Effective: {
      const std::int32_t on = in_force(k, t);
      return on == kClosedSwitch ? 0 : values[child[on]];
    }
    case Operator::Repeat:
      break;  // a source: never combined
  }
  return 0;
}

}  // namespace hourloom
