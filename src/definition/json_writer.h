// The JSON text of a definition: fixed key order, compact ({"defaultCapacity":1,
// "openRules":[],...}) or indented by two spaces per level with ": " after keys,
// empty arrays as [], no trailing line break.
#pragma once

#include <string>

#include "definition/definition.h"

namespace hourloom {

// write_json: the text; fails only for an id that is not valid UTF-8 (which
// no id read from Python or from JSON text can be).
JsonResult<std::string> write_json(const Definition& d, bool indented);

}  // namespace hourloom
