// The declaration of each Python callable and class: a MethodDecl per member
// (Python name, parameter list, body), a Member per class attribute, a
// ClassDecl per class. From each MethodDecl the module derives the fastcall
// parser (interned keyword names, defaults), the text signature
// "Contains($self, instant)\n--\n\n" and the member's alias (snake case, or
// upper case for namespace constants). The typed rows that fill in the body
// from an engine function are in rows.h.
//   constinit MethodDecl kClose{"Close", "*args", &calendar_close};
//   const Member kMembers[] = {property("Start", &start_getter), method<kClose>()};
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "binding/class_list.h"
#include "binding/core/errors.h"
#include "binding/core/python.h"

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

// The declaration of each class of class_list.h, defined in its own file.
#define HOURLOOM_CLASS_DECL(Id, Value, Box, AliasRank) extern const ClassDecl k##Id##Class;
HOURLOOM_CLASSES(HOURLOOM_CLASS_DECL)
#undef HOURLOOM_CLASS_DECL

// The module's functions: Hours, Minutes, Seconds, hours, minutes, seconds
// (classes/duration_functions.cpp).
struct FunctionDecl {
  MethodDecl* decl;
  FastEntry entry;
};
extern const FunctionDecl kDurationFunctions[6];

// Derived pieces, made once at module init.
// prepare_signature: `owner` names the class in binding errors ("Class.Method()");
// a constructor is named "Class.__new__()".
bool prepare_signature(MethodDecl& decl, const char* owner, bool has_self, bool is_constructor = false);
const char* text_signature(const MethodDecl& decl);  // "Name($self, a, b=None)\n--\n\n"
// alias_of: the snake-case (constants: upper-case) form of the member's name;
// apply_aliases adds "_" when that form is a Python keyword ("and_").
std::string alias_of(const Member& m);

}  // namespace hourloom::py
