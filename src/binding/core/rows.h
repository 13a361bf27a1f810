// Typed rows: a MethodDecl whose body is an engine function. The row templates
// deduce the function's parameter types (the build fails when their count
// differs from the list), check the receiver, take the object's hold, convert
// the arguments, call, and turn the result into Python through to_py (an
// engine error is raised; an edit returns the object itself so edits chain).
// Only the file that names a row instantiates it.
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
// The receiver (On) names the object's class and what it hands the function
// first: the boxed value for OnValue<T, Id> (immutable, no hold); each class
// with a hold or a bound value defines its own (OnCalendar in
// classes/calendar.h). A question asked of several receivers is declared once
// as a Question and turned into each receiver's row, which drops the leading
// parameters that receiver binds itself (see Question below).
//
// The class then lists method<kAddOpenRule>(), static_method<kFromJson>(), and
// property("DefaultCapacity", &read<OnCalendar, &Calendar::default_capacity>).
// Parameter types pick the conversion: from_py overloads (convert.h, to_py.h;
// PyObject* is passed as given), std::optional<T> for "=None"; results go
// through to_py (to_py.h). An argument of two kinds is a PyObject* parameter
// that the body reads itself, returning to_py of the engine result it chose.
// A member whose arguments need more (*args) keeps a hand-written body:
// MethodDecl{"Close", "*args", &calendar_close} with
// PyObject* calendar_close(PyObject* self, const Args& args); an edit among
// them takes the exclusive hold and edits through edited() as the rows do.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include "binding/core/decl.h"
#include "binding/core/to_py.h"
#include "engine/state.h"

namespace hourloom::py {

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
template <auto Fn, class On, Access A, class Bound, std::size_t... B, std::size_t... I>
PyObject* convert_and_call(PyObject* self, const Args& a, const Bound& bound, std::index_sequence<B...>,
                           std::index_sequence<I...>) {
  using P = ParamsOf<Fn>;
  std::tuple<Slot<std::tuple_element_t<sizeof...(B) + I, P>>...> slots;
  bool converted =
      ((InBody<Slot<std::tuple_element_t<sizeof...(B) + I, P>>>::value ||
        convert_arg(a, static_cast<Py_ssize_t>(I), &std::get<I>(slots))) && ...) &&
      ((!InBody<Slot<std::tuple_element_t<sizeof...(B) + I, P>>>::value ||
        convert_arg(a, static_cast<Py_ssize_t>(I), &std::get<I>(slots))) && ...);
  if (!converted) return nullptr;
  if constexpr (std::is_void_v<decltype(Fn(std::get<B>(bound)..., std::move(std::get<I>(slots))...))>) {
    Fn(std::get<B>(bound)..., std::move(std::get<I>(slots))...);
    return Py_NewRef(A == Access::Edit ? self : Py_None);
  } else {
    return finish<On, A>(self, Fn(std::get<B>(bound)..., std::move(std::get<I>(slots))...));
  }
}

template <auto Fn, class On, Access A, class Bound>
PyObject* call_bound(PyObject* self, const Args& a, const Bound& bound) {
  constexpr std::size_t b = std::tuple_size_v<Bound>;
  constexpr std::size_t n = std::tuple_size_v<ParamsOf<Fn>> - b;
  return convert_and_call<Fn, On, A>(self, a, bound, std::make_index_sequence<b>{}, std::make_index_sequence<n>{});
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

// ---------------------------------------------------------------- questions

// skip_params: the list after its first n parameters ("instant, searchRadius=None"
// without one is "searchRadius=None"); a pointer into the same text.
consteval const char* skip_params(const char* params, std::size_t n) {
  for (; n > 0 && *params; ++params)
    if (*params == ',') --n;
  while (*params == ' ') ++params;
  return params;
}

// Question: a question declared once by name, parameter list and engine
// function, asked of several receivers. row<On>(q) is the receiver's query
// row: a receiver binding k values hands the function the first k
// parameters itself (the calendar, then its own instant or range), so the
// row lists the question's parameters after the first k - 1; a receiver may
// give the member its own name.
//   constexpr Question<&get_capacity_at> kGetCapacityAt{"GetCapacityAt", "instant"};
//   row<OnCalendar>(kGetCapacityAt)                  // GetCapacityAt($self, instant)
//   row<OnPointQuery>(kGetCapacityAt, "GetCapacity") // GetCapacity($self)
template <auto Fn>
struct Question {
  const char* name;
  const char* params;
};

template <class On, auto Fn>
consteval MethodDecl row(Question<Fn> q, const char* name = nullptr) {
  constexpr std::size_t bound = std::tuple_size_v<decltype(On::bound(std::declval<const typename On::Box&>()))>;
  return typed_row<Fn, On, Access::Query>(name ? name : q.name, skip_params(q.params, bound - 1));
}

// ---------------------------------------------------------------- comparison

// equality_compare: == and != on one field-wise equality; ordering refused.
template <class T>
PyObject* equality_compare(TypeId id, const char* ordering_message, PyObject* self, PyObject* other, int op) {
  return guarded([&]() -> PyObject* {
    if (Py_TYPE(other) != type_of(id)) Py_RETURN_NOTIMPLEMENTED;
    bool equal = boxed_value<T>(self) == boxed_value<T>(other);
    switch (op) {
      case Py_EQ: return to_py(equal);
      case Py_NE: return to_py(!equal);
      case Py_LT: case Py_LE: case Py_GT: case Py_GE:
        return raise_error(Error{ErrorKind::Value, ordering_message});
    }
    return raise_error(Error{ErrorKind::Value, text::kInvalidComparison});
  });
}

}  // namespace hourloom::py
