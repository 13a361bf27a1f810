// One row per Python member: its name, its parameter list and the engine
// function that answers it (or a small function of the member's own). The row
// templates deduce the function's parameter types (the build fails when their
// count differs from the list), check the receiver, take the object's hold,
// convert the arguments, call, and turn the result into Python through to_py
// (an engine error is raised; an edit returns the object itself so edits chain).
//
//   // A query: shared hold; arguments in list order. A Duration (or a Target:
//   // instant or TimeWindow) parameter is converted in the body: after every
//   // other parameter, without the argument-name prefix.
//   constinit MethodDecl kAddWorkDuration = query<OnCalendar, &add_work>(
//       "AddWorkDuration", "start, duration, searchUntil=None");  // (const Calendar&, Instant,
//                                                                  //  Duration, std::optional<Instant>)
//   // An edit: exclusive hold, the calendar reached through edited(); a
//   // Result<void> returns the calendar.
//   constinit MethodDecl kAddOpenRule = edit<OnCalendar, &add_open_rule>("AddOpenRule", "day, start, end");
//   // No receiver (static methods, module functions); constructor<On, &fn>
//   // makes the returned value the new instance.
//   constinit MethodDecl kFromJson = function<&calendar_from_json>("FromJson", "json");
//
// The receiver names the object's class and what it hands the function first:
//   OnCalendar      the calendar (shared hold; edits: exclusive hold and edited())
//   OnCalendarBox   the calendar object itself, for At and Between, which take
//                   its snapshot once their arguments have converted
//   OnPointQuery    the snapshot and the bound instant; OnRangeQuery: the
//                   snapshot, start and end (immutable, no hold), so the
//                   calendar's own functions serve with a shorter list:
//                   query<OnPointQuery, &get_capacity_at>("GetCapacity", "")
//   OnValue<T, Id>  an immutable value (no hold)
//
// The class then lists method<kAddOpenRule>(), static_method<kFromJson>(), and
// property("DefaultCapacity", &read<OnCalendar, &Calendar::default_capacity>).
// Parameter types pick the conversion: from_py overloads (convert.h and below;
// MinimumCapacity runs the engine's check as it converts; PyObject* is passed
// as given), std::optional<T> for "=None"; results go through to_py (to_py.h,
// where a new result type adds its overload). An argument of two kinds is a
// PyObject* parameter that the body reads itself, returning to_py of the engine
// result it chose (Analyze).
// A member whose arguments need more (*args) keeps a hand-written body
// (Capacity, Close, Intersect):
// MethodDecl{"Close", "*args", &calendar_close} with
// PyObject* calendar_close(PyObject* self, const Args& args); an edit among
// them takes the exclusive hold and edits through edited() as the rows do.
//
// From each MethodDecl the module derives the fastcall parser (interned
// keyword names, defaults), the text signature "Contains($self, instant)\n--\n\n"
// and the member's alias (snake case, or upper case for namespace constants).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/errors.h"
#include "binding/to_py.h"
#include "engine/state.h"

namespace hourloom::py {

struct Signature;

// Args: the parsed arguments of one call, one slot per declared parameter
// (defaults filled in, also where None was given), or the raw positionals of a
// *args member.
class Args {
 public:
  Args(PyObject* const* values, Py_ssize_t count, const Signature* sig) : values_(values), count_(count), sig_(sig) {}

  Py_ssize_t size() const { return count_; }
  PyObject* operator[](Py_ssize_t i) const { return values_[i]; }
  bool is_none(Py_ssize_t i) const { return values_[i] == Py_None; }

  const char* name(Py_ssize_t i) const;

 private:
  PyObject* const* values_;
  Py_ssize_t count_;
  const Signature* sig_;
};

// self is the receiver for methods, the type for constructors and nullptr for
// static methods and module functions.
using Impl = PyObject* (*)(PyObject* self, const Args& args);
using Getter = PyObject* (*)(PyObject* self);

struct MethodDecl {
  const char* name;    // Python name, e.g. "AddWorkDuration"
  const char* params;  // parameter list without $self: "start, duration, searchUntil=None", "*args"
  Impl impl;
  Signature* signature = nullptr;  // derived at module init
};

enum class MemberKind : std::uint8_t { Method, StaticMethod, Property, Constant };

using FastEntry = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

struct Member {
  MemberKind kind;
  const char* name;
  MethodDecl* method = nullptr;  // Method, StaticMethod
  FastEntry entry = nullptr;     // StaticMethod (methods are called through their descriptor)
  Getter getter = nullptr;       // Property
  long constant = 0;             // Constant
};

// call_declared: parse against the declaration, then run its body; the shared
// path of every method, static method and module function.
PyObject* call_declared(const MethodDecl& decl, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);
// call_declared_dict: the same for tuple-and-dict calls (constructors).
PyObject* call_declared_dict(const MethodDecl& decl, PyObject* self, PyObject* args, PyObject* kwargs);

template <MethodDecl& D>
PyObject* fast_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&] { return call_declared(D, self, args, nargs, kwnames); });
}

template <MethodDecl& D>
constexpr Member method() {
  return {MemberKind::Method, D.name, &D};
}
template <MethodDecl& D>
constexpr Member static_method() {
  return {MemberKind::StaticMethod, D.name, &D, &fast_entry<D>};
}
constexpr Member property(const char* name, Getter g) { return {MemberKind::Property, name, nullptr, nullptr, g}; }
constexpr Member constant(const char* name, long value) {
  return {MemberKind::Constant, name, nullptr, nullptr, nullptr, value};
}
// constant: a namespace constant whose value is an engine enumerator's number.
template <class E>
  requires std::is_enum_v<E>
constexpr Member constant(const char* name, E value) {
  return constant(name, static_cast<long>(std::to_underlying(value)));
}

// A module class: its name, layout, special slots and members in order.
struct ClassDecl {
  const char* name;  // e.g. "TimeWindow"; the type is "hourloom.TimeWindow"
  Py_ssize_t basicsize;
  destructor dealloc;
  MethodDecl* constructor;  // nullptr: instances come only from other methods
  richcmpfunc richcompare;
  reprfunc repr;
  std::span<const Member> members;
};

// Derived pieces, made once at module init.
// prepare_signature: `owner` names the class in binding errors ("Class.Method()");
// a constructor is named "Class.__new__()".
bool prepare_signature(MethodDecl& decl, const char* owner, bool has_self, bool is_constructor = false);
const char* text_signature(const MethodDecl& decl);  // "Name($self, a, b=None)\n--\n\n"
// alias_of: the snake-case (constants: upper-case) form of the member's name;
// apply_aliases adds "_" when that form is a Python keyword ("and_").
std::string alias_of(const Member& m);

// ---------------------------------------------------------------- typed rows

// Arguments that are objects of the module's classes: a copy of the value
// (a calendar is copied under its shared hold); TypeError
// "'T' object cannot be cast as 'C'" otherwise.
bool from_py(PyObject* o, TimeWindow* out);
bool from_py(PyObject* o, Calendar* out);
// A HourloomDefinition argument: its value itself, which the argument keeps alive.
bool from_py(PyObject* o, const Definition** out);
// A minimum capacity: the integer conversion, then the engine's check.
inline bool from_py(PyObject* o, MinimumCapacity* out) {
  Capacity minimum;
  if (!from_py(o, &minimum)) return false;
  auto checked = MinimumCapacity::From(minimum);
  if (!checked) {
    raise_error(checked.error());
    return false;
  }
  *out = *checked;
  return true;
}

// A PyObject* parameter receives the argument as given (borrowed), for a small
// body that decides itself how to read it.
inline bool from_py(PyObject* o, PyObject** out) {
  *out = o;
  return true;
}

// Parameters converted in the body: after every other parameter, in order,
// and never prefixed with the argument name.
template <class T>
struct InBody : std::false_type {};
template <>
struct InBody<Duration> : std::true_type {};
template <>
struct InBody<Target> : std::true_type {};
template <class T>
struct InBody<std::optional<T>> : InBody<T> {};
inline bool from_py_in_body(PyObject* o, Duration* out) { return any_to_duration(o, out); }
// A TimeWindow object gives the window, anything else is converted as an instant.
inline bool from_py_in_body(PyObject* o, Target* out) {
  if (Py_TYPE(o) == type_of(TypeId::TimeWindow)) {
    out->emplace<TimeWindow>(boxed_value<TimeWindow>(o));
    return true;
  }
  return from_py(o, &out->emplace<Instant>());
}

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsResult : std::false_type {};
template <class T>
struct IsResult<Result<T>> : std::true_type {};

// convert_arg: parameter i into *out; None is absent for an optional.
template <class T>
bool convert_arg(const Args& a, Py_ssize_t i, T* out) {
  if constexpr (IsOptional<T>::value) {
    if (a.is_none(i)) {
      out->reset();
      return true;
    }
    return convert_arg(a, i, &out->emplace());
  } else if constexpr (InBody<T>::value) {
    return from_py_in_body(a[i], out);
  } else {
    if (from_py(a[i], out)) return true;
    prefix_argument_error(a.name(i));
    return false;
  }
}

// The storage an argument is converted into before the call (a string_view
// reads the argument's own UTF-8, which outlives the call).
template <class P>
using Slot = std::remove_cvref_t<P>;

template <class F>
struct FnTraits;
template <class R, class... P>
struct FnTraits<R (*)(P...)> {
  using Params = std::tuple<P...>;
};
template <class R, class... P>
struct FnTraits<R (*)(P...) noexcept> : FnTraits<R (*)(P...)> {};
template <auto Fn>
using ParamsOf = typename FnTraits<decltype(Fn)>::Params;

enum class Access : unsigned char { Query, Edit, Free, Construct };

// finish: the Python result of one call.
template <class On, Access A, class R>
PyObject* finish(PyObject* self, R&& r) {
  using T = std::remove_cvref_t<R>;
  if constexpr (IsResult<T>::value) {
    if (!r) return raise_error(r.error());
    if constexpr (std::is_void_v<typename T::value_type>)
      return Py_NewRef(A == Access::Edit ? self : Py_None);
    else
      return finish<On, A>(self, std::move(*r));
  } else if constexpr (std::is_same_v<T, PyObject*>) {
    return r;
  } else if constexpr (A == Access::Construct) {
    return emplace<typename On::Box>(reinterpret_cast<PyTypeObject*>(self), std::forward<R>(r));
  } else {
    return to_py(std::forward<R>(r));
  }
}

// convert_and_call: converts the parameters after the `bound` ones (declared
// ones first, then those converted in the body), calls Fn, finishes.
template <auto Fn, class On, Access A, class Bound, std::size_t... I>
PyObject* convert_and_call(PyObject* self, const Args& a, const Bound& bound, std::index_sequence<I...>) {
  constexpr std::size_t B = std::tuple_size_v<Bound>;
  using P = ParamsOf<Fn>;
  std::tuple<Slot<std::tuple_element_t<B + I, P>>...> slots;
  bool converted =
      ((InBody<Slot<std::tuple_element_t<B + I, P>>>::value ||
        convert_arg(a, static_cast<Py_ssize_t>(I), &std::get<I>(slots))) && ...) &&
      ((!InBody<Slot<std::tuple_element_t<B + I, P>>>::value ||
        convert_arg(a, static_cast<Py_ssize_t>(I), &std::get<I>(slots))) && ...);
  if (!converted) return nullptr;
  return std::apply(
      [&](auto&... b) -> PyObject* {
        if constexpr (std::is_void_v<decltype(std::invoke(Fn, b..., std::move(std::get<I>(slots))...))>) {
          std::invoke(Fn, b..., std::move(std::get<I>(slots))...);
          return Py_NewRef(A == Access::Edit ? self : Py_None);
        } else {
          return finish<On, A>(self, std::invoke(Fn, b..., std::move(std::get<I>(slots))...));
        }
      },
      bound);
}

template <auto Fn, class On, Access A, class Bound>
PyObject* call_bound(PyObject* self, const Args& a, const Bound& bound) {
  constexpr std::size_t n = std::tuple_size_v<ParamsOf<Fn>> - std::tuple_size_v<Bound>;
  return convert_and_call<Fn, On, A>(self, a, bound, std::make_index_sequence<n>{});
}

// run: the body of a typed row. Receiver check, then the hold, then the call.
template <auto Fn, class On, Access A>
PyObject* run(PyObject* self, const Args& a) {
  if constexpr (A == Access::Free || A == Access::Construct) {
    return call_bound<Fn, On, A>(self, a, std::tuple<>{});
  } else {
    auto* box = unbox<typename On::Box>(On::id, self);
    if (!box) return nullptr;
    if constexpr (requires { box->flag; }) {
      using Hold = std::conditional_t<A == Access::Edit, ExclusiveHold, SharedHold>;
      Hold hold(box->flag);
      if (!hold) return nullptr;
      if constexpr (A == Access::Edit)
        return call_bound<Fn, On, A>(self, a, On::bound(*box));
      else
        return call_bound<Fn, On, A>(self, a, On::bound(std::as_const(*box)));
    } else {
      return call_bound<Fn, On, A>(self, a, On::bound(std::as_const(*box)));
    }
  }
}

// The number of parameters in a declared list.
consteval std::size_t listed_count(const char* params) {
  std::size_t count = 0;
  bool item = false;
  for (const char* p = params; *p; ++p) {
    if (*p == ',') {
      count += item;
      item = false;
    } else if (*p != ' ') {
      item = true;
    }
  }
  return count + item;
}
// Not constexpr: reaching it while building a row stops the build.
inline void parameter_list_does_not_match_the_function() {}

template <auto Fn, class On, Access A>
consteval MethodDecl typed_row(const char* name, const char* params) {
  std::size_t bound = 0;
  if constexpr (A == Access::Query || A == Access::Edit)
    bound = std::tuple_size_v<decltype(On::bound(std::declval<typename On::Box&>()))>;
  if (listed_count(params) + bound != std::tuple_size_v<ParamsOf<Fn>>) parameter_list_does_not_match_the_function();
  return MethodDecl{name, params, &run<Fn, On, A>};
}

// query: shared hold. edit: exclusive hold; a Result<void> gives the object.
template <class On, auto Fn>
consteval MethodDecl query(const char* name, const char* params) {
  return typed_row<Fn, On, Access::Query>(name, params);
}
template <class On, auto Fn>
consteval MethodDecl edit(const char* name, const char* params) {
  return typed_row<Fn, On, Access::Edit>(name, params);
}
// function: no receiver (static methods, module functions).
template <auto Fn>
consteval MethodDecl function(const char* name, const char* params) {
  return typed_row<Fn, void, Access::Free>(name, params);
}
// constructor: the value Fn returns becomes the On::Box of a new instance of
// the called type.
template <class On, auto Fn>
consteval MethodDecl constructor(const char* name, const char* params) {
  return typed_row<Fn, On, Access::Construct>(name, params);
}

// read: a property getter, under the shared hold where the object has one.
// The property descriptor has already checked the receiver's type.
template <class On, auto F>
PyObject* read(PyObject* self) {
  auto& box = boxed_value<typename On::Box>(self);
  auto get = [&](auto&... b) { return finish<On, Access::Query>(self, std::invoke(F, b...)); };
  if constexpr (requires { box.flag; }) {
    SharedHold hold(box.flag);
    if (!hold) return nullptr;
    return std::apply(get, On::bound(std::as_const(box)));
  } else {
    return std::apply(get, On::bound(std::as_const(box)));
  }
}

// OnValue: the receiver of an immutable value class (no hold).
template <class T, TypeId Id>
struct OnValue {
  using Box = T;
  static constexpr TypeId id = Id;
  static std::tuple<const T&> bound(const T& v) { return {v}; }
};

// OnCalendar: the receiver of HourloomCalendar members.
struct OnCalendar {
  using Box = CalendarBox;
  static constexpr TypeId id = TypeId::Calendar;
  static std::tuple<const Calendar&> bound(const CalendarBox& b) { return {b.value()}; }
  static std::tuple<Calendar&> bound(CalendarBox& b) { return {b.edited()}; }
};

}  // namespace hourloom::py
