#include "tools/algebra.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "time/format.h"
#include "tools/entry_point.h"

namespace hourloom::tools {

namespace {

PyObject* value_error(const char* message) {
  PyErr_SetString(PyExc_ValueError, message);
  return nullptr;
}

const char* operator_name(Operator op) {
  switch (op) {
    case Operator::Intersection: return "intersection";
    case Operator::Union: return "union";
    case Operator::Total: return "total";
    case Operator::Difference: return "difference";
    case Operator::Scale: return "scale";
    case Operator::Within: return "within";
    case Operator::Effective: return "effective";
    case Operator::Repeat: return "repeat";
  }
  return "?";
}

void append_count(std::string& out, std::size_t n, const char* what) {
  out += std::to_string(n);
  out += ' ';
  out += what;
}

// append_duration: "8 days", "12:00:00", "1 day, 06:30:00.5" (days, then the time of day).
void append_duration(std::string& out, Duration d) {
  const std::int64_t days = d.seconds() / kSecondsPerDay;
  const auto rest = static_cast<std::uint32_t>(d.seconds() % kSecondsPerDay);
  if (days > 0) {
    append_count(out, static_cast<std::size_t>(days), days == 1 ? "day" : "days");
    if (rest == 0 && d.nanos() == 0) return;
    out += ", ";
  }
  append_time_of_day(out, *TimeOfDay::FromSeconds(rest, d.nanos()));
}

// append_node: one line for c, without its components.
void append_node(std::string& out, const Calendar& c) {
  const Composition* k = c.composition();
  if (!k) {
    out += "calendar: ";
    append_count(out, c.open_rules().size(), "open rules, ");
    append_count(out, c.break_rules().size(), "break rules, ");
    append_count(out, c.open_windows().size(), "open windows, ");
    append_count(out, c.closed_windows().size(), "closed windows, ");
    append_count(out, c.capacity_overrides().size(), "capacity overrides, ");
    append_count(out, c.entries().size(), "entries, default capacity ");
    out += std::to_string(c.default_capacity());
    return;
  }
  out += operator_name(k->op);
  switch (k->op) {
    case Operator::Scale:
      out += " k=" + std::to_string(k->factor);
      break;
    case Operator::Within:
      out += " [";
      append_instant(out, k->window.start, ' ');
      out += ", ";
      append_instant(out, k->window.end, ' ');
      out += ')';
      break;
    case Operator::Repeat:
      out += " anchor=";
      append_instant(out, k->anchor, ' ');
      out += " period=";
      append_duration(out, k->period);
      break;
    case Operator::Effective:
      for (std::size_t i = 0; i < k->switches.size(); ++i) {
        out += i == 0 ? " from " : ", ";
        append_instant(out, k->switches[i].from, ' ');
        out += k->switches[i].component == kClosedSwitch ? ": closed" : ": #" + std::to_string(k->switches[i].component);
      }
      break;
    default:
      break;
  }
}

}  // namespace

PyObject* compose_calendar(const Classes& classes, PyObject* args) {
  int op = 0;
  PyObject *calendars, *switch_us, *switch_parts;
  long long factor, start_us, end_us, period_us;
  if (!PyArg_ParseTuple(args, "iO!LLLLO!O!", &op, &PyTuple_Type, &calendars, &factor, &start_us, &end_us, &period_us,
                        &PyTuple_Type, &switch_us, &PyTuple_Type, &switch_parts))
    return nullptr;
  if (op < 0 || op > static_cast<int>(Operator::Repeat)) return value_error("unknown operator");
  Composition k;
  k.op = static_cast<Operator>(op);
  const Py_ssize_t n = PyTuple_GET_SIZE(calendars);
  k.components.resize(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    const std::string name = "calendar " + std::to_string(i);
    if (!take_calendar(classes, PyTuple_GET_ITEM(calendars, i), &k.components[static_cast<std::size_t>(i)],
                       name.c_str()))
      return nullptr;
  }
  if (n == 1 && (k.op == Operator::Union || k.op == Operator::Total))
    return new_calendar(classes, std::move(k.components.front()));
  switch (k.op) {
    case Operator::Scale:
      if (factor < 0 || factor > std::numeric_limits<Capacity>::max()) return value_error(msg::kScaleRange);
      k.factor = static_cast<Capacity>(factor);
      break;
    case Operator::Within: {
      const auto start = instant_arg(start_us), end = start ? instant_arg(end_us) : std::nullopt;
      if (!end) return nullptr;
      k.window = {*start, *end};
      break;
    }
    case Operator::Repeat: {
      const auto anchor = instant_arg(start_us);
      if (!anchor) return nullptr;
      k.anchor = *anchor;
      k.period = duration_from_micros(period_us);
      break;
    }
    case Operator::Effective: {
      const Py_ssize_t m = PyTuple_GET_SIZE(switch_us);
      if (PyTuple_GET_SIZE(switch_parts) != m) return value_error("switch instants and calendars differ in number");
      k.switches.reserve(static_cast<std::size_t>(m));
      for (Py_ssize_t i = 0; i < m; ++i) {
        const long long at = PyLong_AsLongLong(PyTuple_GET_ITEM(switch_us, i));
        const long long part = at == -1 && PyErr_Occurred() ? -1 : PyLong_AsLongLong(PyTuple_GET_ITEM(switch_parts, i));
        if (part == -1 && PyErr_Occurred()) return nullptr;
        const auto from = instant_arg(at);
        if (!from) return nullptr;
        if (part < kClosedSwitch || part >= n) return value_error(msg::kSwitchComponents);
        k.switches.push_back({*from, static_cast<std::int32_t>(part)});
      }
      break;
    }
    default:
      break;
  }
  auto c = compose(std::move(k));
  if (!c) return raise_failure(classes, c.error());
  return new_calendar(classes, std::move(*c));
}

// The tree is written depth first with a stack of its own, so that any depth
// that can be built can be described; levels past kIndentedLevels are
// numbered rather than indented further, so the text grows with the tree.
constexpr std::size_t kIndentedLevels = 16;

PyObject* describe_calendar(const Classes& classes, PyObject* obj) {
  Calendar root;
  if (!take_calendar(classes, obj, &root, "cal")) return nullptr;
  std::string out;
  struct Line {
    const Calendar* c;
    std::size_t depth;
  };
  std::vector<Line> pending{{&root, 0}};
  while (!pending.empty()) {
    const Line line = pending.back();
    pending.pop_back();
    if (!out.empty()) out += '\n';
    out.append(2 * std::min(line.depth, kIndentedLevels), ' ');
    if (line.depth > kIndentedLevels) out += "(level " + std::to_string(line.depth) + ") ";
    append_node(out, *line.c);
    const std::vector<Calendar>& parts = line.c->components();
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_back({&*part, line.depth + 1});
  }
  return PyUnicode_FromStringAndSize(out.data(), static_cast<Py_ssize_t>(out.size()));
}

}  // namespace hourloom::tools
