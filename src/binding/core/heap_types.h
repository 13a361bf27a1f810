// Building the module's heap types and functions from their declarations, and
// the alias pass.
//   PyObject* cls = create_class(module, kTimeWindowClass);
#pragma once

#include "binding/core/decl.h"

namespace hourloom::py {

// create_class: the heap type for `decl` with its members added in declared
// order; not subclassable, no __dict__, __doc__ None.
PyObject* create_class(PyObject* module, const ClassDecl& decl);
// apply_aliases: for each member, class.<alias> = class.<name>; an alias that
// is a keyword by `iskeyword` (Python's keyword.iskeyword) gets a trailing "_".
bool apply_aliases(PyObject* cls, const ClassDecl& decl, PyObject* iskeyword);
// create_function: a module-level builtin function from a declaration.
PyObject* create_function(PyObject* module, MethodDecl& decl, FastEntry entry);

}  // namespace hourloom::py
