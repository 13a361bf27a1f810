// hourloom_tools._core: the column kernels for Python. It takes int64 buffers
// (the thin Python layer has made them contiguous datetime64[us] or
// timedelta64[us] values, viewed as int64), reads the calendar or timeline
// under the interpreter lock, then answers with the lock released.
//   _core.run(question, cal, first, second, until, minimum, out, nanos=False) -> how many answers are NaT
//   _core.windows(cal, start_us, end_us) -> (starts, ends, capacities) as bytes
//   _core.to_wall(real, bounds, offsets, out[, index]): real instants to a zone's wall clock
//   _core.slots(starts, ends, caps, minimum, points, durations, bounds, backward, out): slots in windows
//   _core.compose(op, calendars, ...) -> a composite;  _core.describe(cal) -> its tree as text
//   _core.dump(obj) -> bytes;  _core.load(bytes) -> a new equal object (pickling)
//   _core.add_windows(cal, kind, n, starts, ends, capacities, ids), _core.add_holidays(cal, days): edits (build.h)
//   _core.classes: the classes dump serves, in payload order; _core.InternalError: hourloom's internal error
#include <algorithm>
#include <chrono>
#include <new>
#include <vector>

#include "engine/interrupt.h"
#include "tools/algebra.h"
#include "tools/borrow.h"
#include "tools/build.h"
#include "tools/columns.h"
#include "tools/entry_point.h"

namespace hourloom::tools {

namespace {

Classes g_classes;

// Elements run in chunks of up to kChunk, from one element on, twice as long
// while a chunk is quick and half as long while it is slow, so that a chunk
// lasts about kChunkTime even where elements do not poll. Ctrl-C is looked for
// between chunks and by the engine's long walks (through its interruption
// hook), once kSignalInterval has passed since the last look.
constexpr std::size_t kChunk = 1024;
constexpr auto kChunkTime = std::chrono::microseconds(5000);
constexpr auto kSignalInterval = std::chrono::milliseconds(20);

// Released: runs the body with the interpreter lock released; the body (and
// the engine's walks inside it, through interrupt_hook) takes it back now and
// then in stop() to run the signal handlers. A C++ exception ends the body and
// is reported after the lock is held again.
class Released {
 public:
  Released() : state_(PyEval_SaveThread()), outer_(current_) { current_ = this; }
  Released(const Released&) = delete;
  Released& operator=(const Released&) = delete;
  ~Released() {
    current_ = outer_;
    PyEval_RestoreThread(state_);
  }
  // stop: whether a signal handler raised (Ctrl-C; its exception stays
  // pending), looked for once kSignalInterval has passed since the last look.
  bool stop() {
    if (stopped_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now - looked_ < kSignalInterval) return false;
    looked_ = now;
    PyEval_RestoreThread(state_);
    stopped_ = PyErr_CheckSignals() != 0;
    state_ = PyEval_SaveThread();
    return stopped_;
  }
  bool stopped() const { return stopped_; }
  // interrupt_hook: the engine's interruption hook in this module: the
  // released call running on this thread, if any, asks stop().
  static bool interrupt_hook() { return current_ != nullptr && current_->stop(); }

 private:
  PyThreadState* state_;
  Released* outer_;
  std::chrono::steady_clock::time_point looked_ = std::chrono::steady_clock::now();
  bool stopped_ = false;
  static thread_local Released* current_;
};
thread_local Released* Released::current_ = nullptr;

enum class Outcome { Done, Failed, Interrupted, NoMemory, Unexpected };

// Work: a Kernel, or anything with its prepare() and run(from, to).
template <class Work>
Outcome run_released(Work& kernel, std::size_t n, std::optional<Failure>& failure) {
  Released released;
  try {
    failure = kernel.prepare();
    std::size_t chunk = 1;
    for (std::size_t from = 0, to; !failure && from < n && !released.stop(); from = to) {
      to = std::min(n, from + chunk);
      const auto began = std::chrono::steady_clock::now();
      failure = kernel.run(from, to);
      const auto took = std::chrono::steady_clock::now() - began;
      if (took > kChunkTime && chunk > 1) chunk /= 2;
      if (took < kChunkTime / 8 && chunk < kChunk) chunk *= 2;
    }
  } catch (const std::bad_alloc&) {
    return Outcome::NoMemory;
  } catch (...) {
    return Outcome::Unexpected;
  }
  if (released.stopped()) return Outcome::Interrupted;  // also ends an engine walk, as a failure
  return failure ? Outcome::Failed : Outcome::Done;
}

// released_call: runs the work with the lock released; the call's result is
// done() once it has run, else the exception of its failure (with the
// element's position), of Ctrl-C, of memory or of an unexpected failure.
template <class Work, class Done>
PyObject* released_call(Work& work, std::size_t n, Done&& done) {
  std::optional<Failure> failure;
  switch (run_released(work, n, failure)) {
    case Outcome::Done: return done();
    case Outcome::Failed: return raise_failure(g_classes, failure->error, failure->position);
    case Outcome::Interrupted: return nullptr;
    case Outcome::NoMemory: return PyErr_NoMemory();
    case Outcome::Unexpected: break;
  }
  PyErr_SetString(PyExc_SystemError, py::text::kUnexpectedFailure);
  return nullptr;
}

PyObject* run(PyObject*, PyObject* args) noexcept {
  int question = 0;
  int minimum = 1;
  int nanos = 0;
  PyObject *cal, *first, *second, *until, *out;
  if (!PyArg_ParseTuple(args, "iOOOOiO|p", &question, &cal, &first, &second, &until, &minimum, &out, &nanos))
    return nullptr;
  if (question < 0 || question > static_cast<int>(Question::AddCapacityTime)) {
    PyErr_SetString(PyExc_ValueError, "unknown question");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    Int64Buffer out_buf, first_buf, second_buf, until_buf;
    if (!out_buf.open(out, SIZE_MAX, true, "out")) return nullptr;
    const std::size_t n = out_buf.size();
    const auto q = static_cast<Question>(question);
    const bool alone = q == Question::CapacityAt || q == Question::NextOpen;  // no second column
    if (!first_buf.open(first, n, false, "first") || !second_buf.open(second, n, false, "second", alone) ||
        !until_buf.open(until, n, false, "until", true))
      return nullptr;
    Source source;
    if (!take_source(g_classes, cal, &source)) return nullptr;
    Job job{static_cast<Question>(question), first_buf.column(), second_buf.column(), until_buf.column(),
            minimum, out_buf.data(), n, nanos != 0};
    Kernel kernel(std::move(source), job, python_reach());
    return released_call(kernel, n, [&] { return PyLong_FromSize_t(kernel.missing()); });
  });
}

PyObject* bytes_of(const std::vector<std::int64_t>& v) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                   static_cast<Py_ssize_t>(v.size() * sizeof(std::int64_t)));
}

PyObject* windows(PyObject*, PyObject* args) noexcept {
  PyObject* cal;
  long long start_us, end_us;
  if (!PyArg_ParseTuple(args, "OLL", &cal, &start_us, &end_us)) return nullptr;
  return guarded([&]() -> PyObject* {
    const auto start = instant_arg(start_us), end = start ? instant_arg(end_us) : std::nullopt;
    if (!end) return nullptr;
    Source source;
    if (!take_source(g_classes, cal, &source)) return nullptr;
    Result<WindowColumns> columns;
    {
      Released released;
      columns = window_columns(source, *start, *end);
    }
    if (!columns) return raise_failure(g_classes, columns.error());  // Ctrl-C among them
    PyObject* starts = bytes_of(columns->starts);
    PyObject* ends = starts ? bytes_of(columns->ends) : nullptr;
    PyObject* capacities = ends ? bytes_of(columns->capacities) : nullptr;
    if (!capacities) {
      Py_XDECREF(starts);
      Py_XDECREF(ends);
      return nullptr;
    }
    return Py_BuildValue("(NNN)", starts, ends, capacities);
  });
}

// to_wall: out[i] = real[i] plus the offset of its segment k, where segment k
// runs over [bounds[k - 1], bounds[k]) with offsets[k] (one more offset than
// bounds), and index[i] = k when an index buffer is given. NaT stays NaT (in
// segment 0); a real instant outside the reach or a sum past int64 reads as the
// largest int64, which lies outside every reach. Few bounds (a zone changes its
// clocks about twice a year) are counted without branches, as random instants
// would mispredict them. Offsets are under a day, as a tzinfo's must be, and
// bounds ascend.
PyObject* to_wall(PyObject*, PyObject* args) noexcept {
  PyObject *real, *bounds, *offsets, *out, *index = Py_None;
  if (!PyArg_ParseTuple(args, "OOOO|O", &real, &bounds, &offsets, &out, &index)) return nullptr;
  Int64Buffer out_buf, real_buf, bounds_buf, offsets_buf, index_buf;
  if (!out_buf.open(out, SIZE_MAX, true, "out")) return nullptr;
  const std::size_t n = out_buf.size();
  if (!real_buf.open(real, n, false, "real") || !bounds_buf.open(bounds, SIZE_MAX, false, "bounds") ||
      !offsets_buf.open(offsets, bounds_buf.size() + 1, false, "offsets", false, true) ||
      !index_buf.open(index, n, true, "index", true))
    return nullptr;
  const Column r = real_buf.column();
  const std::int64_t* b = bounds_buf.data();
  const std::int64_t* o = offsets_buf.data();
  const std::size_t m = bounds_buf.size();
  constexpr std::int64_t kDay = kSecondsPerDay * kMicrosPerSecond;
  for (std::size_t k = 0; k <= m; ++k)
    if (o[k] <= -kDay || o[k] >= kDay || (k > 0 && k < m && b[k] < b[k - 1])) {
      PyErr_SetString(PyExc_ValueError, "to_wall: offsets must lie within a day and bounds ascend");
      return nullptr;
    }
  std::int64_t* w = out_buf.data();
  std::int64_t* segment = index == Py_None ? nullptr : index_buf.data();
  const TimeWindow reach = python_reach();
  const std::int64_t first_us = micros_of(reach.start), last_us = micros_of(reach.end);  // whole microseconds
  constexpr std::size_t kFew = 16;
  {
    Released released;
    for (std::size_t i = 0; i < n; ++i) {
      if (i % (kChunk << 8) == 0 && released.stop()) return nullptr;
      const std::int64_t us = r.at(i);
      std::size_t k = 0;
      if (m <= kFew) {
        for (std::size_t j = 0; j < m; ++j) k += static_cast<std::size_t>(us >= b[j]);
      } else {
        k = static_cast<std::size_t>(std::upper_bound(b, b + m, us) - b);
      }
      std::int64_t wall;
      if (__builtin_add_overflow(us, o[k], &wall) || us < first_us || last_us < us) wall = INT64_MAX;
      const std::int64_t keep = -static_cast<std::int64_t>(us == kMissing);
      w[i] = (kMissing & keep) | (wall & ~keep);
      if (segment) segment[i] = static_cast<std::int64_t>(k);
    }
  }
  Py_RETURN_NONE;
}

// SlotWork: the slots of `points` in states made of windows (Zoned's real
// state windows); see slots().
struct SlotWork {
  const std::int64_t *starts, *ends, *caps;
  std::size_t windows;
  Capacity minimum;
  Column points, durations, bounds;
  bool backward;
  std::int64_t* out;
  TimeWindow reach;
  std::optional<Timeline> states;

  std::optional<Failure> prepare() {
    std::vector<StateWindow> list;
    list.reserve(windows);
    for (std::size_t i = 0; i < windows; ++i) {
      const auto from = instant_from_micros(starts[i], reach), to = instant_from_micros(ends[i], reach);
      if (!from || !to) return Failure{0, {ErrorKind::Value, text::kInstantRange}};
      list.push_back({{*from, *to}, static_cast<Capacity>(caps[i])});
    }
    const TimeWindow covered = list.empty() ? TimeWindow{} : TimeWindow{list.front().window.start, list.back().window.end};
    states.emplace(Calendar{}, covered, list);
    return std::nullopt;
  }
  std::optional<Failure> run(std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const auto point = instant_from_micros(points.at(i), reach), bound = instant_from_micros(bounds.at(i), reach);
      if (!point || !bound) return Failure{i, {ErrorKind::Value, text::kInstantRange}};
      const auto r = slot_in_states(*states, backward, *point, duration_from_micros(durations.at(i)), minimum, bound,
                                    reach);
      if (r && !*r) return Failure{i, r->error()};
      out[i] = r ? **r : kMissing;
    }
    return std::nullopt;
  }
};

// slots(starts, ends, caps, minimum, points, durations, bounds, backward, out):
// out[i] is the start of the first slot of durations[i] from points[i] that
// ends by bounds[i], or, backward, of the latest that ends by points[i] and
// starts at or after bounds[i], inside gap-free windows (in microseconds) that
// hold every such range; NaT when none. No value may be NaT.
PyObject* slots(PyObject*, PyObject* args) noexcept {
  PyObject *starts, *ends, *caps, *points, *durations, *bounds, *out;
  int minimum;
  int backward;
  if (!PyArg_ParseTuple(args, "OOOiOOOpO", &starts, &ends, &caps, &minimum, &points, &durations, &bounds, &backward,
                        &out))
    return nullptr;
  return guarded([&]() -> PyObject* {
    Int64Buffer out_buf, starts_buf, ends_buf, caps_buf, points_buf, durations_buf, bounds_buf;
    if (!out_buf.open(out, SIZE_MAX, true, "out") || !starts_buf.open(starts, SIZE_MAX, false, "starts"))
      return nullptr;
    const std::size_t n = out_buf.size(), windows = starts_buf.size();
    if (!ends_buf.open(ends, windows, false, "ends", false, true) ||
        !caps_buf.open(caps, windows, false, "caps", false, true) || !points_buf.open(points, n, false, "points") ||
        !durations_buf.open(durations, n, false, "durations") || !bounds_buf.open(bounds, n, false, "bounds"))
      return nullptr;
    // The windows must make states: each starts where the last ended, before its own end.
    const std::int64_t *s = starts_buf.data(), *e = ends_buf.data(), *c = caps_buf.data();
    for (std::size_t i = 0; i < windows; ++i)
      if (!(s[i] < e[i]) || (i > 0 && s[i] != e[i - 1]) || c[i] < INT32_MIN || c[i] > INT32_MAX) {
        PyErr_SetString(PyExc_ValueError,
                        "slots: windows must follow each other without gaps, with int32 capacities");
        return nullptr;
      }
    SlotWork work{starts_buf.data(), ends_buf.data(), caps_buf.data(), windows, minimum, points_buf.column(),
                  durations_buf.column(), bounds_buf.column(), backward != 0, out_buf.data(), python_reach(),
                  std::nullopt};
    return released_call(work, n, [] { Py_RETURN_NONE; });
  });
}

// dump(obj) -> bytes: the compact payload of one of hourloom's objects.
PyObject* dump_object(PyObject*, PyObject* obj) noexcept {
  return guarded([&]() -> PyObject* {
    std::string payload;
    if (!dump(g_classes, obj, &payload)) return nullptr;
    return PyBytes_FromStringAndSize(payload.data(), static_cast<Py_ssize_t>(payload.size()));
  });
}

// load(payload) -> object: the object a payload of dump describes.
PyObject* load_object(PyObject*, PyObject* arg) noexcept {
  Py_buffer view;
  if (PyObject_GetBuffer(arg, &view, PyBUF_SIMPLE) < 0) return nullptr;
  PyObject* result = guarded([&] {
    return load(g_classes, std::string_view(static_cast<const char*>(view.buf), static_cast<std::size_t>(view.len)));
  });
  PyBuffer_Release(&view);
  return result;
}

PyObject* add_windows_of(PyObject*, PyObject* args) noexcept { return add_windows(g_classes, args); }
PyObject* add_holidays_of(PyObject*, PyObject* args) noexcept { return add_holidays(g_classes, args); }

// compose(...) and describe(cal): see algebra.h.
PyObject* compose(PyObject*, PyObject* args) noexcept {
  return guarded([&] { return compose_calendar(g_classes, args); });
}

PyObject* describe(PyObject*, PyObject* obj) noexcept {
  return guarded([&] { return describe_calendar(g_classes, obj); });
}

PyMethodDef g_methods[] = {
    {"compose", compose, METH_VARARGS, nullptr},
    {"describe", describe, METH_O, nullptr},
    {"dump", dump_object, METH_O, nullptr},
    {"load", load_object, METH_O, nullptr},
    {"run", run, METH_VARARGS, nullptr},
    {"windows", windows, METH_VARARGS, nullptr},
    {"to_wall", to_wall, METH_VARARGS, nullptr},
    {"slots", slots, METH_VARARGS, nullptr},
    {"add_windows", add_windows_of, METH_VARARGS, nullptr},
    {"add_holidays", add_holidays_of, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT, "hourloom_tools._core", nullptr, -1, g_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace hourloom::tools

PyMODINIT_FUNC PyInit__core() {
  using namespace hourloom::tools;
  if (!g_classes.internal_error && !load_classes(&g_classes)) return nullptr;
  PyObject* module = PyModule_Create(&g_module_def);
  if (!module) return nullptr;
  hourloom::set_interrupt_hook(&Released::interrupt_hook);  // this module's copy of the engine
  // The internal error's class, which pickling must name to send one back,
  // and the classes pickling registers, in the order of their payloads.
  constexpr int kKinds = static_cast<int>(Kind::TraceStep);
  PyObject* classes = PyTuple_New(kKinds);
  for (int k = 0; classes && k < kKinds; ++k) PyTuple_SET_ITEM(classes, k, Py_NewRef(g_classes.by_kind[k + 1]));
  const bool added = classes && PyModule_AddObjectRef(module, "InternalError", g_classes.internal_error) == 0 &&
                     PyModule_AddObjectRef(module, "classes", classes) == 0;
  Py_XDECREF(classes);
  if (!added) Py_CLEAR(module);
  return module;
}
