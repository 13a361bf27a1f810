// Reading a definition: a fast tokenizer (simdjson's on-demand interface)
// walks the text and feeds the record reader. When that walk stops for any
// reason, the text is read again by the event reader (json_events.cpp), which
// decides, describes and places the problem. A text the fast walk accepts
// gives the same definition as the event reader (the engine tests compare the
// two on mutated texts), so the event reader's answers are the reader's
// answers, and valid texts are read at the fast tokenizer's speed.
#include "definition/json_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <simdjson.h>

#include "definition/record_reader.h"

namespace hourloom {

namespace {

namespace od = simdjson::ondemand;

// ---------------------------------------------------------------- the fast walk

bool walk_value(od::value v, RecordReader& r);

bool walk_object(od::object object, RecordReader& r) {
  if (!r.start_object()) return false;
  for (auto element : object) {
    od::field field;
    if (std::move(element).get(field)) return false;
    // A key is read in place unless it has escapes to decode (the tokenizer
    // has checked its characters).
    std::string_view key = field.escaped_key();
    if (std::ranges::find(key, '\\') != key.end() && field.unescaped_key().get(key)) return false;
    if (!r.key(key) || !walk_value(field.value(), r)) return false;
  }
  return r.end_object();
}

bool walk_array(od::array array, RecordReader& r) {
  if (!r.start_array()) return false;
  for (auto element : array) {
    od::value v;
    if (element.get(v) || !walk_value(v, r)) return false;
  }
  return r.end_array();
}

// walk_number: integers as the event reader reports them (non-negative ones
// unsigned); any other number by its text, once it is known to be valid
// (numbers no double holds included: a skipped value may be one).
bool walk_number(od::value v, RecordReader& r) {
  od::number_type type;
  if (v.get_number_type().get(type)) return false;
  switch (type) {
    case od::number_type::signed_integer: {
      std::int64_t i;
      if (v.get_int64().get(i)) return false;
      return i >= 0 ? r.number_unsigned(static_cast<std::uint64_t>(i)) : r.number_integer(i);
    }
    case od::number_type::unsigned_integer: {
      std::uint64_t u;
      return !v.get_uint64().get(u) && r.number_unsigned(u);
    }
    case od::number_type::floating_point_number:
    case od::number_type::big_integer: {
      std::string_view written = v.raw_json_token();
      while (!written.empty() && std::string_view(" \t\n\r").find(written.back()) != std::string_view::npos)
        written.remove_suffix(1);
      double d;
      if ((type == od::number_type::big_integer || v.get_double().get(d)) && !is_json_number(written)) return false;
      return r.number_float(written);
    }
  }
  return false;
}

bool walk_value(od::value v, RecordReader& r) {
  od::json_type type;
  if (v.type().get(type)) return false;
  switch (type) {
    case od::json_type::object: {
      od::object object;
      return !v.get_object().get(object) && walk_object(object, r);
    }
    case od::json_type::array: {
      od::array array;
      return !v.get_array().get(array) && walk_array(array, r);
    }
    case od::json_type::string: {
      std::string_view s;
      return !v.get_string().get(s) && r.string(s);
    }
    case od::json_type::number: return walk_number(v, r);
    case od::json_type::boolean: {
      bool b;
      return !v.get_bool().get(b) && r.boolean(b);
    }
    case od::json_type::null: {
      bool is_null;
      return !v.is_null().get(is_null) && is_null && r.null();
    }
    default: return false;
  }
}

// The tokenizer: its parser, and the copy of the text it reads, followed by
// the padding it may read past the end. Both (about 2.5 times the text's size
// in use, more reserved) stay with the thread from one read to the next, so
// that reading a large text again does not pay for fresh memory each time; a
// text larger than kKeptTextSize gets a tokenizer of its own, freed after the read.
constexpr std::size_t kKeptTextSize = std::size_t{16} << 20;

struct Tokenizer {
  od::parser parser;
  std::unique_ptr<char[]> copy;
  std::size_t capacity = 0;

  simdjson::simdjson_result<od::document> iterate(std::string_view text) {
    if (capacity < text.size() + simdjson::SIMDJSON_PADDING) {
      capacity = text.size() + simdjson::SIMDJSON_PADDING;
      copy = std::make_unique_for_overwrite<char[]>(capacity);
    }
    std::memcpy(copy.get(), text.data(), text.size());
    std::memset(copy.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    return parser.iterate(copy.get(), text.size(), capacity);
  }
};

Tokenizer& tokenizer_for(std::size_t text_size, std::optional<Tokenizer>& own) {
  thread_local Tokenizer kept;
  return text_size <= kKeptTextSize ? kept : own.emplace();
}

// read_fast: the definition, or nothing when the walk stopped (a problem, or
// anything the walk leaves to the event reader: a scalar at the top, a text
// too large for the tokenizer).
std::optional<Definition> read_fast(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) return std::nullopt;
  std::optional<Tokenizer> own;
  od::document doc;
  od::json_type type;
  if (tokenizer_for(text.size(), own).iterate(text).get(doc) || doc.type().get(type)) return std::nullopt;
  RecordReader reader(text);
  bool ok = false;
  if (type == od::json_type::object) {
    od::object object;
    ok = !doc.get_object().get(object) && walk_object(object, reader);
  } else if (type == od::json_type::array) {
    od::array array;
    ok = !doc.get_array().get(array) && walk_array(array, reader);
  }
  if (!ok || !doc.at_end()) return std::nullopt;
  return std::move(reader.definition());
}

}  // namespace

JsonResult<Definition> read_json(std::string_view text) {
  if (auto fast = read_fast(text)) return std::move(*fast);
  return read_json_by_events(text);
}

}  // namespace hourloom
