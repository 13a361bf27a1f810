// Parsing declared parameter lists and matching call arguments against them,
// with CPython's wording for the binding errors, e.g.
//   HourloomCalendar.AddOpenRule() missing 1 required positional argument: 'end'
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "binding/core/decl.h"
#include "binding/core/pyref.h"

namespace hourloom::py {

inline constexpr Py_ssize_t kMaxParams = 8;

struct Signature {
  std::string display;              // "TimeWindow.Contains"
  std::vector<std::string> names;   // parameter names in order
  std::vector<PyObject*> interned;  // interned names, owned for the process
  std::vector<PyObject*> defaults;  // nullptr for required parameters
  Py_ssize_t required = 0;
  bool star = false;  // "*args": any number of positionals, no keywords
  bool value_defaults = false;  // some default is not None: a None given for it means the default
  std::string text;   // text signature for __text_signature__
};

const char* Args::name(Py_ssize_t i) const { return sig_->names[static_cast<std::size_t>(i)].c_str(); }


namespace {

std::string trim(std::string s) {
  auto b = s.find_first_not_of(' ');
  auto e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

PyObject* default_value(const std::string& text) {
  if (text == "None") return Py_NewRef(Py_None);
  if (text == "False") return Py_NewRef(Py_False);
  return PyLong_FromString(text.c_str(), nullptr, 10);
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += (names.size() > 2 ? ", " : " ");
    if (i > 0 && i + 1 == names.size()) out += "and ";
    out += "'" + names[i] + "'";
  }
  return out;
}

PyObject* too_many_positional(const Signature& s, Py_ssize_t given) {
  auto total = static_cast<Py_ssize_t>(s.names.size());
  std::string takes = s.required == total ? std::to_string(total)
                                          : "from " + std::to_string(s.required) + " to " + std::to_string(total);
  PyErr_Format(PyExc_TypeError, text::kTooManyPositionalFormat, s.display.c_str(),
               takes.c_str(), total == 1 && s.required == total ? "" : "s", given, given == 1 ? "was" : "were");
  return nullptr;
}

PyObject* unexpected_keyword(const Signature& s, PyObject* key) {
  PyErr_Format(PyExc_TypeError, text::kUnexpectedKeywordFormat, s.display.c_str(), key);
  return nullptr;
}

// keyword_index: position of the parameter named `key`, or -1.
Py_ssize_t keyword_index(const Signature& s, PyObject* key) {
  const std::size_t n = s.interned.size();
  for (std::size_t i = 0; i < n; ++i)
    if (s.interned[i] == key) return static_cast<Py_ssize_t>(i);
  for (std::size_t i = 0; i < n; ++i) {
    int eq = PyUnicode_Compare(s.interned[i], key);
    if (eq == 0) return static_cast<Py_ssize_t>(i);
    if (eq == -1 && PyErr_Occurred()) PyErr_Clear();
  }
  return -1;
}

bool place_keyword(const Signature& s, PyObject** slots, PyObject* key, PyObject* value) {
  Py_ssize_t i = keyword_index(s, key);
  if (i < 0) {
    unexpected_keyword(s, key);
    return false;
  }
  if (slots[i]) {
    PyErr_Format(PyExc_TypeError, text::kMultipleValuesFormat, s.display.c_str(),
                 s.names[static_cast<std::size_t>(i)].c_str());
    return false;
  }
  slots[i] = value;
  return true;
}

bool any_none(PyObject* const* args, Py_ssize_t n) {
  for (Py_ssize_t i = 0; i < n; ++i)
    if (args[i] == Py_None) return true;
  return false;
}

bool fill_defaults(const Signature& s, PyObject** slots) {
  std::vector<std::string> missing;
  const std::size_t n = s.names.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (slots[i] && !(slots[i] == Py_None && s.defaults[i])) continue;
    if (s.defaults[i])
      slots[i] = s.defaults[i];
    else
      missing.push_back(s.names[i]);
  }
  if (missing.empty()) return true;
  PyErr_Format(PyExc_TypeError, text::kMissingFormat, s.display.c_str(),
               missing.size(), missing.size() == 1 ? "" : "s", quoted_list(missing).c_str());
  return false;
}

}  // namespace

bool prepare_signature(MethodDecl& decl, const char* owner, bool has_self, bool is_constructor) {
  auto sig = new Signature();  // lives as long as the process, like the classes
  const char* shown = is_constructor ? "__new__" : decl.name;
  sig->display = owner ? std::string(owner) + "." + shown : std::string(shown);
  std::string params = decl.params;
  std::string listed;
  std::size_t pos = 0;
  while (pos < params.size()) {
    std::size_t comma = params.find(',', pos);
    std::string item = trim(params.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
    pos = comma == std::string::npos ? params.size() : comma + 1;
    if (item.empty()) continue;
    if (!listed.empty()) listed += ", ";
    listed += item;
    if (item[0] == '*') {
      sig->star = true;
      continue;
    }
    std::size_t eq = item.find('=');
    std::string name = trim(item.substr(0, eq));
    PyObject* interned = PyUnicode_InternFromString(name.c_str());
    if (!interned) return false;
    sig->interned.push_back(interned);
    sig->names.push_back(name);
    if (eq == std::string::npos) {
      sig->defaults.push_back(nullptr);
      ++sig->required;
    } else {
      PyObject* value = default_value(trim(item.substr(eq + 1)));
      if (!value) return false;
      sig->defaults.push_back(value);
      if (value != Py_None) sig->value_defaults = true;
    }
  }
  if (static_cast<Py_ssize_t>(sig->names.size()) > kMaxParams) {
    PyErr_SetString(PyExc_SystemError, text::kTooManyDeclared);
    return false;
  }
  std::string self = has_self ? (listed.empty() ? "$self" : "$self, ") : "";
  sig->text = std::string(decl.name) + "(" + self + listed + ")\n--\n\n";
  decl.signature = sig;
  return true;
}

const char* text_signature(const MethodDecl& decl) { return decl.signature->text.c_str(); }

PyObject* call_declared(const MethodDecl& decl, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  const Signature& s = *decl.signature;
  nargs = PyVectorcall_NARGS(static_cast<std::size_t>(nargs));
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  if (s.star) {
    if (nkw > 0) return unexpected_keyword(s, PyTuple_GET_ITEM(kwnames, 0));
    return decl.impl(self, Args(args, nargs, &s));
  }
  auto n = static_cast<Py_ssize_t>(s.names.size());
  if (nargs > n) return too_many_positional(s, nargs);
  if (nkw == 0 && nargs == n && !(s.value_defaults && any_none(args, n)))
    return decl.impl(self, Args(args, n, &s));  // the common exact call
  PyObject* slots[kMaxParams] = {};
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
  for (Py_ssize_t k = 0; k < nkw; ++k)
    if (!place_keyword(s, slots, PyTuple_GET_ITEM(kwnames, k), args[nargs + k])) return nullptr;
  if (!fill_defaults(s, slots)) return nullptr;
  return decl.impl(self, Args(slots, n, &s));
}

PyObject* call_declared_dict(const MethodDecl& decl, PyObject* self, PyObject* args, PyObject* kwargs) {
  const Signature& s = *decl.signature;
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  PyObject* const* items = &PyTuple_GET_ITEM(args, 0);
  if (s.star) {
    if (kwargs && PyDict_GET_SIZE(kwargs) > 0) {
      Py_ssize_t pos = 0;
      PyObject *key, *value;
      PyDict_Next(kwargs, &pos, &key, &value);
      return unexpected_keyword(s, key);
    }
    return decl.impl(self, Args(items, nargs, &s));
  }
  auto n = static_cast<Py_ssize_t>(s.names.size());
  if (nargs > n) return too_many_positional(s, nargs);
  PyObject* slots[kMaxParams] = {};
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = items[i];
  if (kwargs) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        PyErr_Format(PyExc_TypeError, text::kKeywordsNotStringsFormat, s.display.c_str());
        return nullptr;
      }
      if (!place_keyword(s, slots, key, value)) return nullptr;
    }
  }
  if (!fill_defaults(s, slots)) return nullptr;
  return decl.impl(self, Args(slots, n, &s));
}

std::string alias_of(const Member& m) {
  std::string out;
  const char* name = m.name;
  for (std::size_t i = 0; name[i]; ++i) {
    char c = name[i];
    bool upper = c >= 'A' && c <= 'Z';
    if (upper && i > 0) out += '_';
    if (m.kind == MemberKind::Constant)
      out += static_cast<char>(upper || c < 'a' || c > 'z' ? c : c - 'a' + 'A');
    else
      out += static_cast<char>(upper ? c - 'A' + 'a' : c);
  }
  return out;
}

}  // namespace hourloom::py
