// The descriptor type of the module's instance methods. Like a builtin method
// descriptor (bound by attribute access, called through vectorcall, with
// __text_signature__ and __doc__ None), but it leaves the receiver check to the
// method itself, which reports "'T' object cannot be cast as 'C'".
#pragma once

#include "binding/core/decl.h"

namespace hourloom::py {

// create_method_descriptor_type: made once at module init; not a module attribute.
bool create_method_descriptor_type(PyObject* module);
// new_method_descriptor: the descriptor of `decl` on class `owner`.
PyObject* new_method_descriptor(const MethodDecl& decl, PyTypeObject* owner);

}  // namespace hourloom::py
