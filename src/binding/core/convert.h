// Conversions between Python's own objects (datetime, date, time, timedelta,
// int, str, bool) and the engine's plain values, and the reach of Python's
// datetime; values of the module's classes are in to_py.h.
// from_py(obj, &out) returns false with a Python exception set (TypeErrors
// unprefixed; Args adds the argument name). to_py functions return a new
// reference or nullptr.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binding/core/python.h"
#include "binding/core/pyref.h"
#include "time/records.h"

namespace hourloom::py {

// init_datetime: imports the datetime C API; once, at module init.
bool init_datetime();

// An instant or a date that is missing (NaT, which compares unequal to itself)
// is refused with TypeError "expected a datetime, got NaT".
bool from_py(PyObject* o, Instant* out);    // datetime.datetime without tzinfo
bool from_py(PyObject* o, Date* out);       // datetime.date (a datetime gives its date)
bool from_py(PyObject* o, TimeOfDay* out);  // datetime.time; tzinfo and fold ignored
bool from_py(PyObject* o, std::uint8_t* out);   // __index__, 0..255
bool from_py(PyObject* o, std::int32_t* out);   // __index__, signed 32-bit
bool from_py(PyObject* o, std::int64_t* out);   // __index__, signed 64-bit
bool from_py(PyObject* o, std::string* out);    // str only, as UTF-8
// str only: its UTF-8, cached by the str and valid while the str lives (the
// caller's argument, for the length of the call).
bool from_py(PyObject* o, std::string_view* out);
bool from_py(PyObject* o, bool* out);           // bool or NumPy bool only (an int is refused)

// instant_if_given: *out set to the instant o converts to; left empty when o
// is no datetime or one that does not convert (that TypeError or ValueError
// is cleared). False only for any other error, which stays set.
bool instant_if_given(PyObject* o, std::optional<Instant>* out);

// JsonText: the UTF-8 of a str argument, valid while the str lives. A str
// holding lone surrogates has no UTF-8; it is encoded with each surrogate kept
// as three bytes (held by `owner`), which the JSON reader refuses with a position.
struct JsonText {
  std::string_view utf8;
  Ref owner;
};
bool from_py(PyObject* o, JsonText* out);  // str only

// any_to_duration: a timedelta, or any object with integer attributes days,
// seconds and microseconds (AttributeError for the first missing one).
bool any_to_duration(PyObject* o, Duration* out);

// kPythonReach: datetime.min to datetime.max. Searches stop at its ends, so
// each answer converts back to a datetime.
inline constexpr TimeWindow kPythonReach{
    Instant::FromParts(Date::FromCivil(1, 1, 1).value(), {}),
    Instant::FromParts(Date::FromCivil(9999, 12, 31).value(), TimeOfDay::FromHms(23, 59, 59, 999'999'000))};

// ticks_of: a computed duration in ticks; OverflowError beyond 64 bits.
inline Result<std::int64_t> ticks_of(const Result<Duration>& d) {
  if (!d) return Unexpected(d.error());
  return duration_to_ticks(*d);
}

PyObject* to_py(Instant t);      // naive datetime; UserWarning for a leap second
PyObject* to_py(TimeOfDay t);    // naive time; UserWarning for a leap second
PyObject* duration_to_py(Duration d);   // OverflowError beyond 64-bit microseconds

inline PyObject* to_py(bool b) { return Py_NewRef(b ? Py_True : Py_False); }

}  // namespace hourloom::py
