// The event reader: nlohmann/json's event interface feeds the record reader.
// It is the reader's answer whenever the fast walk (json_reader.cpp) stops,
// and the only unit that includes the library. Two habits of the library are
// bent to the format here: a number no double holds is valid JSON that a
// skipped value may be, and a NUL byte between tokens does not end the text.
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "definition/json_reader.h"
#include "definition/record_reader.h"
#include "engine/calendar.h"

namespace hourloom {

namespace {

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

// ---------------------------------------------------------------- numbers no double holds

// A number the library would refuse as too large, replaced in a copy of the
// text by a harmless one of the same length ("0.000"), so that positions stay
// as they are; the record reader is handed the number as written.
struct TamedNumber {
  std::size_t offset;
  std::string_view written;
};

bool is_number_char(char c) {
  return (c >= '0' && c <= '9') || std::string_view("-+.eE").find(c) != std::string_view::npos;
}

// tame_numbers: the offsets and texts of the valid numbers outside strings
// whose value no double holds, each replaced in `copy` (a copy of `text` made
// only when there is one). Strings are followed as the library reads them, up
// to where it would stop on a problem, which is as far as the copy matters.
std::vector<TamedNumber> tame_numbers(std::string_view text, std::string& copy) {
  std::vector<TamedNumber> tamed;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\') ++i;
      continue;
    }
    if (!(c == '-' || (c >= '0' && c <= '9'))) continue;
    std::size_t end = i;
    while (end < text.size() && is_number_char(text[end])) ++end;
    std::string_view number = text.substr(i, end - i);
    // Without an exponent, only a number of more than 308 digits is that large.
    bool may_overflow = number.find_first_of("eE") != number.npos || number.size() > 308;
    if (may_overflow && is_json_number(number) && !std::isfinite(std::strtod(std::string(number).c_str(), nullptr))) {
      if (copy.empty()) copy.assign(text);
      std::size_t digits = number[0] == '-' ? i + 1 : i;  // an overflowing number has at least 5 characters
      copy.replace(digits, end - digits, "0." + std::string(end - digits - 2, '0'));
      tamed.push_back({i, number});
    }
    i = end - 1;
  }
  return tamed;
}

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
  SaxEvents(RecordReader& r, const char* text, const char* const* read_to, std::vector<TamedNumber> tamed)
      : r_(r), text_(text), read_to_(read_to), tamed_(std::move(tamed)) {}
  bool null() { return r_.null(); }
  bool boolean(bool b) { return r_.boolean(b); }
  bool number_integer(json::number_integer_t i) { return r_.number_integer(i); }
  bool number_unsigned(json::number_unsigned_t u) { return r_.number_unsigned(u); }
  // number_float: a tamed number is the next one whose text starts before the
  // last byte read (the library reads one byte past a number).
  bool number_float(json::number_float_t, const json::string_t& written) {
    if (next_ < tamed_.size() && text_ + tamed_[next_].offset < *read_to_)
      return r_.number_float(tamed_[next_++].written);
    return r_.number_float(written);
  }
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
  const char* text_;
  const char* const* read_to_;
  std::vector<TamedNumber> tamed_;
  std::size_t next_ = 0;
};

}  // namespace

JsonResult<Definition> read_json_by_events(std::string_view text) {
  if (is_blank_id(text)) return Unexpected(JsonError{msg::kEmptyJson});
  std::string copy;
  std::vector<TamedNumber> tamed = tame_numbers(text, copy);
  std::string_view source = copy.empty() ? text : std::string_view(copy);
  RecordReader reader(source);
  if (source.starts_with(kByteOrderMark)) {
    reader.fail_at("syntax error while parsing value - unexpected byte order mark", 3);
    return Unexpected(reader.take_error());
  }
  TrackingIterator first(source.data(), reader.read_to());
  TrackingIterator last(source.data() + source.size(), reader.read_to());
  SaxEvents events(reader, source.data(), reader.read_to(), std::move(tamed));
  if (!json::sax_parse(first, last, &events)) return Unexpected(reader.take_error());
  // The library takes a NUL byte between tokens for the end of the text (one
  // inside a string is an error), so the first NUL of a text it accepts
  // follows the value.
  if (auto nul = source.find('\0'); nul != source.npos) {
    reader.fail_at("syntax error while parsing value - invalid literal; expected end of input", nul + 1);
    return Unexpected(reader.take_error());
  }
  return std::move(reader.definition());
}

}  // namespace hourloom
