// HourloomTimeline: a calendar's states compiled over a range; frozen, so no
// hold is taken. The bulk lookups read the sequence in place and build their
// lists directly.
#include "binding/core/rows.h"
#include "engine/analysis.h"
#include "timeline/timeline.h"

namespace hourloom::py {

namespace {

using OnTimeline = OnValue<Timeline, TypeId::Timeline>;

// ---------------------------------------------------------------- arguments

// Instants: a sequence (or any iterable) of datetimes, read through the fast
// sequence protocol; items are converted one at a time by the caller.
class Instants {
 public:
  explicit Instants(PyObject* o) : seq_(PySequence_Fast(o, text::kExpectedInstants)) {
    if (!seq_) prefix_argument_error("instants");
  }
  explicit operator bool() const { return static_cast<bool>(seq_); }
  Py_ssize_t size() const { return PySequence_Fast_GET_SIZE(seq_.get()); }
  // get: item i as an instant; a TypeError names the argument. The item a few
  // places ahead is fetched into the cache meanwhile: the objects of a sorted
  // column lie scattered in memory.
  bool get(Py_ssize_t i, Instant* out) const {
    PyObject* const* items = PySequence_Fast_ITEMS(seq_.get());
    if (i + kAhead < size()) __builtin_prefetch(items[i + kAhead]);
    if (from_py(items[i], out)) return true;
    prefix_argument_error("instants");
    return false;
  }

 private:
  static constexpr Py_ssize_t kAhead = 8;
  Ref seq_;
};

// ---------------------------------------------------------------- HourloomTimeline

// GetCapacitiesAt(instants): every instant is converted before an outside one
// is reported, so a conversion error comes first wherever it stands.
PyObject* capacities_at(const Timeline& tl, PyObject* given) {
  Instants instants(given);
  if (!instants) return nullptr;
  const Py_ssize_t n = instants.size();
  Ref list(PyList_New(n));
  if (!list) return nullptr;
  // Ascending runs are looked up near the previous answer; once a lookup
  // lands far from it, the next ones search the whole array until one lands
  // near again, so random input pays no guessing.
  std::size_t hint = 0;
  bool near = true;
  bool outside = false;
  for (Py_ssize_t i = 0; i < n; ++i) {
    Instant t;
    if (!instants.get(i, &t)) return nullptr;
    if (outside) continue;
    const std::size_t k = near ? tl.locate_near(t, hint) : tl.locate(t);
    if (k == Timeline::kOutside) {
      outside = true;
      continue;
    }
    near = k - hint <= 1;
    hint = k;
    PyObject* capacity = PyLong_FromLong(tl.capacity_of(k));
    if (!capacity) return nullptr;
    PyList_SET_ITEM(list.get(), i, capacity);
  }
  if (outside) return raise_error(Error{ErrorKind::Value, msg::kTimestampOutsideTimeline});
  return list.release();
}

// AnalyzeMany(instants, includeMatches=False): every instant is converted
// before the first analysis.
PyObject* analyze_many(const Timeline& tl, PyObject* given, bool with_matches) {
  Instants instants(given);
  if (!instants) return nullptr;
  const Py_ssize_t n = instants.size();
  std::vector<Instant> at(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i)
    if (!instants.get(i, &at[static_cast<std::size_t>(i)])) return nullptr;
  Ref list(PyList_New(n));
  if (!list) return nullptr;
  std::size_t hint = 0;
  for (Py_ssize_t i = 0; i < n; ++i) {
    const Instant t = at[static_cast<std::size_t>(i)];
    const std::size_t k = tl.locate_near(t, hint);
    if (k == Timeline::kOutside) return raise_error(Error{ErrorKind::Value, msg::kTimestampOutsideTimeline});
    hint = k;
    PyObject* item = to_py(state_analysis(tl, k, t, with_matches, kPythonReach));
    if (!item) return nullptr;
    PyList_SET_ITEM(list.get(), i, item);
  }
  return list.release();
}

// Analyze(instant, second=None, includeMatches=False): a second argument that
// converts to an instant asks for the range [instant, second); a bool second
// is the matches flag; anything else, a datetime that does not convert (one
// with tzinfo, a missing one) included, is ignored.
PyObject* analyze(const Timeline& tl, Instant t, PyObject* second, bool with_matches) {
  std::optional<Instant> end;
  if (!instant_if_given(second, &end)) return nullptr;
  if (end) return to_py(timeline_analyze_range(tl, t, *end));
  if (PyBool_Check(second)) with_matches = second == Py_True;
  return to_py(timeline_instant_analysis(tl, t, with_matches, kPythonReach));
}

constinit MethodDecl kGetCapacityAt = query<OnTimeline, &timeline_capacity_at>("GetCapacityAt", "instant");
constinit MethodDecl kGetCapacitiesAt = query<OnTimeline, &capacities_at>("GetCapacitiesAt", "instants");
constinit MethodDecl kCanWork = query<OnTimeline, &timeline_can_work>("CanWork", "instant");
constinit MethodDecl kAnalyze = query<OnTimeline, &analyze>("Analyze", "instant, second=None, includeMatches=False");
constinit MethodDecl kAnalyzeMany = query<OnTimeline, &analyze_many>("AnalyzeMany", "instants, includeMatches=False");
constinit MethodDecl kAnalyzeRange = query<OnTimeline, &timeline_analyze_range>("AnalyzeRange", "start, end");
constinit MethodDecl kGetStateWindows = query<OnTimeline, &timeline_state_windows>("GetStateWindows", "start, end");
constinit MethodDecl kGetOpenWindows = query<OnTimeline, &timeline_open_windows>("GetOpenWindows", "start, end");
constinit MethodDecl kGetUnavailableWindows =
    query<OnTimeline, &timeline_unavailable_windows>("GetUnavailableWindows", "start, end");
constinit MethodDecl kGetCapacityWindows =
    query<OnTimeline, &timeline_capacity_windows>("GetCapacityWindows", "start, end, minimumCapacity=1");
constinit MethodDecl kGetWorkingDuration =
    query<OnTimeline, &timeline_working_duration>("GetWorkingDuration", "start, end");
constinit MethodDecl kFindFirstSlot = query<OnTimeline, &timeline_first_slot>(
    "FindFirstSlot", "start, duration, minimumCapacity=1, searchUntil=None");

const Member kTimelineMembers[] = {
    property("Window", &read<OnTimeline, &Timeline::window>),
    method<kGetCapacityAt>(),
    method<kGetCapacitiesAt>(),
    method<kCanWork>(),
    method<kAnalyze>(),
    method<kAnalyzeMany>(),
    method<kAnalyzeRange>(),
    method<kGetStateWindows>(),
    method<kGetOpenWindows>(),
    method<kGetUnavailableWindows>(),
    method<kGetCapacityWindows>(),
    method<kGetWorkingDuration>(),
    method<kFindFirstSlot>(),
};

}  // namespace

const ClassDecl kTimelineClass{"HourloomTimeline", sizeof(Boxed<Timeline>), &boxed_dealloc<Timeline>,
                               nullptr,            nullptr,                  nullptr,
                               kTimelineMembers};

}  // namespace hourloom::py
