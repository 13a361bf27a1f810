// The only translation unit that uses the datetime C API (its capsule pointer
// is per translation unit).
#include "binding/core/convert.h"

#include <datetime.h>

#include <cstring>

#include "binding/core/errors.h"
#include "binding/core/pyref.h"

namespace hourloom::py {

bool init_datetime() {
  PyDateTime_IMPORT;
  return PyDateTimeAPI != nullptr;
}

namespace {

bool raise_expected(PyObject* o, const char* what) {
  raise_cast_error(o, what);
  return false;
}

// index_value: o.__index__() as a C long long; Python's own errors otherwise.
bool index_value(PyObject* o, long long* out) {
  long long v;
  if (PyLong_Check(o)) {
    v = PyLong_AsLongLong(o);
  } else {
    Ref index(PyNumber_Index(o));
    if (!index) return false;
    v = PyLong_AsLongLong(index.get());
  }
  if (v == -1 && PyErr_Occurred()) return false;
  *out = v;
  return true;
}

bool out_of_range_integral() {
  PyErr_SetString(PyExc_OverflowError, text::kIntegerRange);
  return false;
}

bool warn_leap_second() { return PyErr_WarnEx(PyExc_UserWarning, text::kLeapSecond, 1) == 0; }

// split_time: seconds of day and fraction -> h, m, s, microsecond, leap flag.
struct PyClock {
  int hour, minute, second, micro;
  bool leap;
};
PyClock split_time(TimeOfDay t) {
  std::uint32_t nanos = t.nanos();
  bool leap = t.is_leap();
  if (leap) nanos -= kNanosPerSecond;
  return {static_cast<int>(t.seconds() / 3600), static_cast<int>((t.seconds() / 60) % 60),
          static_cast<int>(t.seconds() % 60), static_cast<int>(nanos / kNanosPerMicro), leap};
}

// present: false with TypeError "expected a datetime, got NaT" for a missing
// value, an instance of a datetime or date subclass that compares unequal to
// itself (pandas' NaT, whose fields read as year 1, so only year 1 is asked);
// false with the error of a comparison that fails. Plain datetime and date
// objects are never asked.
bool present(PyObject* o) {
  if (PyDateTime_GET_YEAR(o) != 1) return true;
  Ref equal(PyObject_RichCompare(o, o, Py_EQ));
  if (!equal) return false;
  int truth = PyObject_IsTrue(equal.get());
  if (truth < 0) return false;
  if (truth) return true;
  PyErr_SetString(PyExc_TypeError, text::kMissingTimestamp);
  return false;
}

}  // namespace

bool from_py(PyObject* o, Instant* out) {
  if (!PyDateTime_CheckExact(o)) {
    if (!PyDateTime_Check(o)) return raise_expected(o, "datetime");
    if (!present(o)) return false;
  }
  if (PyDateTime_DATE_GET_TZINFO(o) != Py_None) {
    PyErr_SetString(PyExc_TypeError, text::kTzinfo);
    return false;
  }
  auto date = Date::FromCivil(PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o));
  if (!date) {
    PyErr_SetString(PyExc_ValueError, text::kInvalidDate);
    return false;
  }
  TimeOfDay tod = TimeOfDay::FromHms(PyDateTime_DATE_GET_HOUR(o), PyDateTime_DATE_GET_MINUTE(o),
                                     PyDateTime_DATE_GET_SECOND(o),
                                     static_cast<std::uint32_t>(PyDateTime_DATE_GET_MICROSECOND(o)) * 1000u);
  *out = Instant::FromParts(*date, tod);
  return true;
}

bool instant_if_given(PyObject* o, std::optional<Instant>* out) {
  if (!PyDateTime_Check(o)) return true;
  if (from_py(o, &out->emplace())) return true;
  out->reset();
  if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_ValueError)) return false;
  PyErr_Clear();
  return true;
}

bool from_py(PyObject* o, Date* out) {
  if (!PyDate_CheckExact(o) && !PyDateTime_CheckExact(o)) {
    if (!PyDate_Check(o)) return raise_expected(o, "date");
    if (!present(o)) return false;
  }
  auto date = Date::FromCivil(PyDateTime_GET_YEAR(o), PyDateTime_GET_MONTH(o), PyDateTime_GET_DAY(o));
  if (!date) {
    PyErr_SetString(PyExc_ValueError, text::kInvalidDate);
    return false;
  }
  *out = *date;
  return true;
}

bool from_py(PyObject* o, TimeOfDay* out) {
  if (!PyTime_Check(o)) return raise_expected(o, "time");
  *out = TimeOfDay::FromHms(PyDateTime_TIME_GET_HOUR(o), PyDateTime_TIME_GET_MINUTE(o), PyDateTime_TIME_GET_SECOND(o),
                            static_cast<std::uint32_t>(PyDateTime_TIME_GET_MICROSECOND(o)) * 1000u);
  return true;
}

bool from_py(PyObject* o, std::uint8_t* out) {
  long long v;
  if (!index_value(o, &v)) return false;
  if (v < 0 || v > 255) return out_of_range_integral();
  *out = static_cast<std::uint8_t>(v);
  return true;
}

bool from_py(PyObject* o, std::int32_t* out) {
  long long v;
  if (!index_value(o, &v)) return false;
  if (v < INT32_MIN || v > INT32_MAX) return out_of_range_integral();
  *out = static_cast<std::int32_t>(v);
  return true;
}

bool from_py(PyObject* o, std::int64_t* out) {
  long long v;
  if (!index_value(o, &v)) return false;
  *out = v;
  return true;
}

bool from_py(PyObject* o, std::string* out) {
  if (!PyUnicode_Check(o)) return raise_expected(o, "str");
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size);
  if (!utf8) return false;
  out->assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool from_py(PyObject* o, std::string_view* out) {
  if (!PyUnicode_Check(o)) return raise_expected(o, "str");
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size);
  if (!utf8) return false;
  *out = std::string_view(utf8, static_cast<std::size_t>(size));
  return true;
}

bool from_py(PyObject* o, bool* out) {
  if (PyBool_Check(o)) {
    *out = o == Py_True;
    return true;
  }
  // NumPy's bool scalar ("numpy.bool", "numpy.bool_" before NumPy 2), known by
  // its type name so that NumPy need not be imported.
  const char* name = Py_TYPE(o)->tp_name;
  if (std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0) {
    int truth = PyObject_IsTrue(o);
    if (truth < 0) return false;
    *out = truth == 1;
    return true;
  }
  return raise_expected(o, "bool");
}

bool from_py(PyObject* o, JsonText* out) {
  if (!PyUnicode_Check(o)) return raise_expected(o, "str");
  Py_ssize_t size;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(o, &size)) {
    out->utf8 = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
  PyErr_Clear();
  out->owner = Ref(PyUnicode_AsEncodedString(o, "utf-8", "surrogatepass"));
  if (!out->owner) return false;
  out->utf8 = std::string_view(PyBytes_AS_STRING(out->owner.get()),
                               static_cast<std::size_t>(PyBytes_GET_SIZE(out->owner.get())));
  return true;
}

bool any_to_duration(PyObject* o, Duration* out) {
  std::int64_t days, seconds, micros;
  if (PyDelta_Check(o)) {
    days = PyDateTime_DELTA_GET_DAYS(o);
    seconds = PyDateTime_DELTA_GET_SECONDS(o);
    micros = PyDateTime_DELTA_GET_MICROSECONDS(o);
  } else {
    static const char* const kFields[] = {"days", "seconds", "microseconds"};
    std::int64_t* targets[] = {&days, &seconds, &micros};
    for (int i = 0; i < 3; ++i) {
      Ref value(PyObject_GetAttrString(o, kFields[i]));
      if (!value || !from_py(value.get(), targets[i])) return false;
    }
  }
  auto d = Duration::FromParts(days, seconds, micros);
  if (!d) {
    raise_error(d.error());
    return false;
  }
  *out = *d;
  return true;
}

PyObject* to_py(Instant t) {
  CivilDate c = t.date().civil();
  PyClock k = split_time(t.time_of_day());
  Ref dt(PyDateTimeAPI->DateTime_FromDateAndTime(c.year, static_cast<int>(c.month), static_cast<int>(c.day), k.hour,
                                                 k.minute, k.second, k.micro, Py_None, PyDateTimeAPI->DateTimeType));
  if (!dt) return nullptr;
  if (k.leap && !warn_leap_second()) return nullptr;
  return dt.release();
}

PyObject* to_py(TimeOfDay t) {
  PyClock k = split_time(t);
  Ref tm(PyDateTimeAPI->Time_FromTime(k.hour, k.minute, k.second, k.micro, Py_None, PyDateTimeAPI->TimeType));
  if (!tm) return nullptr;
  if (k.leap && !warn_leap_second()) return nullptr;
  return tm.release();
}

PyObject* duration_to_py(Duration d) {
  auto total = d.total_micros();
  if (!total) return raise_error(Error{ErrorKind::Overflow, text::kTimedeltaRange});
  constexpr std::int64_t kMicrosPerDay = kSecondsPerDay * kMicrosPerSecond;
  std::int64_t days = floor_div(*total, kMicrosPerDay);
  std::int64_t rest = floor_mod(*total, kMicrosPerDay);
  return PyDateTimeAPI->Delta_FromDelta(static_cast<int>(days), static_cast<int>(rest / kMicrosPerSecond),
                                        static_cast<int>(rest % kMicrosPerSecond), 1, PyDateTimeAPI->DeltaType);
}

}  // namespace hourloom::py
