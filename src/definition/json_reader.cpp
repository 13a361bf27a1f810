// Reading a definition: a fast tokenizer (simdjson's on-demand interface)
// walks the text and feeds the record reader. When that walk stops for any
// reason, the text is read again with nlohmann/json's event interface, which
// decides, describes and places the problem. A text the fast walk accepts
// gives the same definition as the event reader (the engine tests compare the
// two on mutated texts), so the event reader's answers are the reader's
// answers, and valid texts are read at the fast tokenizer's speed.
#include "definition/json_reader.h"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>
#include <simdjson.h>

#include "definition/record_reader.h"
#include "engine/calendar.h"

namespace hourloom {

namespace {

namespace od = simdjson::ondemand;

// Both libraries skip a leading byte order mark; the format does not allow one.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// ---------------------------------------------------------------- the fast walk

bool walk_value(od::value v, RecordReader& r);

bool walk_object(od::object object, RecordReader& r) {
  if (!r.start_object()) return false;
  for (auto field : object) {
    std::string_view key;
    od::value v;
    if (field.unescaped_key().get(key) || !r.key(key) || field.value().get(v) || !walk_value(v, r)) return false;
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
// unsigned); any other number by its text, once it is known to be valid.
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
    case od::number_type::floating_point_number: {
      std::string_view written = v.raw_json_token();
      double d;
      if (v.get_double().get(d)) return false;
      while (!written.empty() && std::string_view(" \t\n\r").find(written.back()) != std::string_view::npos)
        written.remove_suffix(1);
      return r.number_float(written);
    }
    default:  // integers beyond 64 bits are left to the event reader
      return false;
  }
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

// The tokenizer's buffers (about 1.5 times the text's size in use, more
// reserved) stay with the thread from one read to the next, so that reading a
// large text again does not pay for fresh memory each time; a text larger
// than kKeptTextSize gets a parser of its own, freed after the read.
constexpr std::size_t kKeptTextSize = std::size_t{16} << 20;

od::parser& parser_for(std::size_t text_size, std::optional<od::parser>& own) {
  thread_local od::parser kept;
  return text_size <= kKeptTextSize ? kept : own.emplace();
}

// read_fast: the definition, or nothing when the walk stopped (a problem, or
// anything the walk leaves to the event reader: a scalar at the top, integers
// beyond 64 bits, a text too large for the tokenizer).
std::optional<Definition> read_fast(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) return std::nullopt;
  simdjson::padded_string padded(text);
  std::optional<od::parser> own;
  od::document doc;
  od::json_type type;
  if (parser_for(text.size(), own).iterate(padded).get(doc) || doc.type().get(type)) return std::nullopt;
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

// ---------------------------------------------------------------- the event reader

using json = nlohmann::json;

// Iterator handed to the library: reads the text and leaves the offset of the
// next unread byte in *read_to.
class TrackingIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackingIterator(const char* p, const char** read_to) : p_(p), read_to_(read_to) {}
  reference operator*() const { return *p_; }
  TrackingIterator& operator++() {
    *read_to_ = ++p_;
    return *this;
  }
  TrackingIterator operator++(int) {
    TrackingIterator old = *this;
    ++*this;
    return old;
  }
  friend bool operator==(const TrackingIterator& a, const TrackingIterator& b) { return a.p_ == b.p_; }

 private:
  const char* p_;
  const char** read_to_;
};

// library_description: the library's text for a syntax error, without its tag,
// its own (byte-counted) position and the echo of the bytes last read.
std::string library_description(const std::string& last_token, const std::exception& ex) {
  std::string_view what = ex.what();
  if (auto tag = what.find("] "); tag != what.npos) what.remove_prefix(tag + 2);
  if (what.starts_with("parse error"))
    if (auto colon = what.find(": "); colon != what.npos) what.remove_prefix(colon + 2);
  std::string out(what);
  std::string echo = "; last read: '" + last_token + "'";
  if (auto k = out.find(echo); k != out.npos) out.erase(k, echo.size());
  if (out.size() > 160) out = out.substr(0, 160) + "...";
  for (char& c : out)  // the rest is the library's ASCII text; keep it valid UTF-8 whatever happens
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return out;
}

// Events of the library, passed on to the record reader.
class SaxEvents {
 public:
  explicit SaxEvents(RecordReader& r) : r_(r) {}
  bool null() { return r_.null(); }
  bool boolean(bool b) { return r_.boolean(b); }
  bool number_integer(json::number_integer_t i) { return r_.number_integer(i); }
  bool number_unsigned(json::number_unsigned_t u) { return r_.number_unsigned(u); }
  bool number_float(json::number_float_t, const json::string_t& written) { return r_.number_float(written); }
  bool string(json::string_t& s) { return r_.string(s); }
  bool binary(json::binary_t&) { return r_.fail("invalid type: binary value"); }
  bool start_object(std::size_t) { return r_.start_object(); }
  bool start_array(std::size_t) { return r_.start_array(); }
  bool end_object() { return r_.end_object(); }
  bool end_array() { return r_.end_array(); }
  bool key(json::string_t& k) { return r_.key(k); }
  bool parse_error(std::size_t, const std::string& last_token, const nlohmann::detail::exception& ex) {
    return r_.fail(library_description(last_token, ex));
  }

 private:
  RecordReader& r_;
};

}  // namespace

JsonResult<Definition> read_json(std::string_view text) {
  if (auto fast = read_fast(text)) return std::move(*fast);
  return read_json_by_events(text);
}

JsonResult<Definition> read_json_by_events(std::string_view text) {
  if (is_blank_id(text)) return std::unexpected(JsonError{msg::kEmptyJson});
  RecordReader reader(text);
  if (text.starts_with(kByteOrderMark)) {
    reader.fail_at("syntax error while parsing value - unexpected byte order mark", 3);
    return std::unexpected(reader.take_error());
  }
  TrackingIterator first(text.data(), reader.read_to());
  TrackingIterator last(text.data() + text.size(), reader.read_to());
  SaxEvents events(reader);
  if (json::sax_parse(first, last, &events)) return std::move(reader.definition());
  return std::unexpected(reader.take_error());
}

}  // namespace hourloom
