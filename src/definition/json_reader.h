// Reading a definition from its JSON text in one pass, without a document
// tree. Every record may be an object (keys in any order, unknown keys skipped)
// or an array of its field values in order. The first problem ends the read
// with a message and the line and column (1-based, in code points) of the last
// character read when it was found:
//   read_json(R"({"defaultCapacity":1.5})")
//     -> "invalid type: floating point `1.5`, expected a 32-bit signed integer at line 1 column 22"
#pragma once

#include <string_view>

#include "definition/definition.h"

namespace hourloom {

// read_json: UTF-8 text -> Definition. An empty or white-space-only text gives
// "JSON cannot be empty." without a position.
JsonResult<Definition> read_json(std::string_view text);

// read_json_by_events: the same answer from the event reader alone, which
// read_json falls back on to describe a problem (slower on valid texts).
JsonResult<Definition> read_json_by_events(std::string_view text);

}  // namespace hourloom
