// The JSON library tokenizes and reports events (SAX); this file maps the
// events onto the definition records with a small stack of frames and finds
// the position of a problem itself, since the events carry none: the input
// iterator records how far the library has read.
#include "definition/json_reader.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

#include "definition/text.h"
#include "engine/calendar.h"

namespace hourloom {

namespace {

using json = nlohmann::json;

// ---------------------------------------------------------------- record layout

enum class Record : std::uint8_t { Definition, Rule, Window, Capacity, Entry };
enum class Field : std::uint8_t { I32, U8, Id, Instant, Time, Rules, Windows, Capacities, Entries };

struct FieldLayout {
  std::string_view key;
  Field type;
};
struct RecordLayout {
  const char* name;  // "struct RuleDefinition"
  std::span<const FieldLayout> fields;
};

constexpr FieldLayout kDefinitionFields[] = {
    {"defaultCapacity", Field::I32},   {"openRules", Field::Rules},  {"breakRules", Field::Rules},
    {"openWindows", Field::Windows},   {"closedWindows", Field::Windows},
    {"capacityWindows", Field::Capacities}, {"entries", Field::Entries},
};
constexpr FieldLayout kRuleFields[] = {{"day", Field::U8}, {"start", Field::Time}, {"end", Field::Time}};
constexpr FieldLayout kWindowFields[] = {{"start", Field::Instant}, {"end", Field::Instant}};
constexpr FieldLayout kCapacityFields[] = {{"start", Field::Instant}, {"end", Field::Instant}, {"capacity", Field::I32}};
constexpr FieldLayout kEntryFields[] = {{"id", Field::Id},           {"kind", Field::U8}, {"start", Field::Instant},
                                      {"end", Field::Instant},     {"capacity", Field::I32}};

constexpr RecordLayout kRecords[] = {
    {"struct Definition", kDefinitionFields}, {"struct RuleDefinition", kRuleFields},
    {"struct WindowDefinition", kWindowFields}, {"struct CapacityDefinition", kCapacityFields},
    {"struct EntryDefinition", kEntryFields},
};
constexpr const RecordLayout& layout_of(Record r) { return kRecords[static_cast<int>(r)]; }

// element_of: the record held by a sequence field.
constexpr Record element_of(Field f) {
  switch (f) {
    case Field::Rules: return Record::Rule;
    case Field::Windows: return Record::Window;
    case Field::Capacities: return Record::Capacity;
    default: return Record::Entry;
  }
}
constexpr bool is_sequence(Field f) { return f >= Field::Rules; }

const char* expectation(Field f) {
  switch (f) {
    case Field::I32: return "a 32-bit signed integer";
    case Field::U8: return "an 8-bit unsigned integer";
    case Field::Id: return "a string";
    case Field::Instant: return "a formatted date and time string";
    case Field::Time: return "a formatted time string";
    default: return "a sequence";
  }
}

// ---------------------------------------------------------------- values as found

// Found: a scalar as the library reports it, for storing or describing.
struct Found {
  enum Kind : std::uint8_t { Signed, Unsigned, Float, Bool, Null, String } kind = Null;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  std::string_view text;  // Float: the number as written; String: the decoded text
  bool b = false;
};

constexpr std::size_t kQuoteLimit = 40;

// quoted: at most kQuoteLimit bytes of `s`, cut at a UTF-8 boundary.
std::string quoted(std::string_view s) {
  if (s.size() <= kQuoteLimit) return std::string(s);
  std::size_t n = kQuoteLimit;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return std::string(s.substr(0, n)) + "...";
}

// is_integer_text: a number written without fraction or exponent (one the
// library could only hold as floating point because it is so large).
bool is_integer_text(std::string_view t) { return t.find_first_of(".eE") == t.npos; }

template <class F>
Found found(Found::Kind kind, F fill) {
  Found v;
  v.kind = kind;
  fill(v);
  return v;
}

std::string describe(const Found& v) {
  switch (v.kind) {
    case Found::Signed: return "integer `" + std::to_string(v.i) + "`";
    case Found::Unsigned: return "integer `" + std::to_string(v.u) + "`";
    case Found::Float:
      return (is_integer_text(v.text) ? "integer `" : "floating point `") + quoted(v.text) + "`";
    case Found::Bool: return v.b ? "boolean `true`" : "boolean `false`";
    case Found::Null: return "null";
    case Found::String: return "string \"" + quoted(v.text) + "\"";
  }
  return "value";
}

// ---------------------------------------------------------------- positions

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

// position_suffix: " at line L column C" for the character before `end`
// (a line feed belongs to the line it ends); columns count code points.
std::string position_suffix(std::string_view text, std::size_t end) {
  end = std::clamp<std::size_t>(end, 1, text.size());
  std::string_view before = text.substr(0, end - 1);
  std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  std::size_t line_start = before.rfind('\n');
  line_start = line_start == before.npos ? 0 : line_start + 1;
  std::size_t column = 0;
  for (std::size_t k = line_start; k < end; ++k)
    if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) ++column;
  return " at line " + std::to_string(line) + " column " + std::to_string(std::max<std::size_t>(column, 1));
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

// ---------------------------------------------------------------- the event handler

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text), read_to_(text.data()) {}

  const char** read_to() { return &read_to_; }
  Definition& definition() { return def_; }
  JsonError take_error() { return JsonError{std::move(error_)}; }

  // SAX events.
  bool null() { return scalar(Found{}); }
  bool boolean(bool b) { return scalar(found(Found::Bool, [&](Found& v) { v.b = b; })); }
  bool number_integer(json::number_integer_t i) { return scalar(found(Found::Signed, [&](Found& v) { v.i = i; })); }
  bool number_unsigned(json::number_unsigned_t u) {
    return scalar(found(Found::Unsigned, [&](Found& v) { v.u = u; }));
  }
  bool number_float(json::number_float_t, const json::string_t& written) {
    return scalar(found(Found::Float, [&](Found& v) { v.text = written; }));
  }
  bool string(json::string_t& s) { return scalar(found(Found::String, [&](Found& v) { v.text = s; })); }
  bool binary(json::binary_t&) { return fail("invalid type: binary value"); }
  bool start_object(std::size_t) { return open(false); }
  bool start_array(std::size_t) { return open(true); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  bool key(json::string_t& k);
  bool parse_error(std::size_t, const std::string& last_token, const nlohmann::detail::exception& ex) {
    return fail(library_description(last_token, ex));
  }
  // syntax_error: a syntax problem found before the library runs.
  bool syntax_error(const char* description, std::size_t read) {
    read_to_ = text_.data() + read;
    return fail(description);
  }

 private:
  // A record being read (object or array form), or a sequence of records.
  struct Frame {
    Record record;            // the record, or a sequence's element record
    bool sequence = false;
    bool array_form = false;
    std::uint8_t seen = 0;    // object form: one bit per field
    int pending = -1;         // object form: field of the next value, -1 to skip it
    std::size_t count = 0;    // array form: values so far
    int definition_field = 0; // sequence: which list of the definition it fills
  };
  // Where the next value goes.
  struct Target {
    enum Kind : std::uint8_t { Skip, Item, Member } kind;
    Record record = Record::Definition;  // Item: the record; Member: the record it belongs to
    int field = 0;                       // Member: index in the top record
    Field type = Field::I32;             // Member
  };

  Frame& top() { return frames_[depth_ - 1]; }
  Target target();
  bool scalar(const Found& v);
  bool store(const Target& t, const Found& v);
  bool open(bool array);
  bool close();
  bool fail(std::string message, bool number = false);
  bool wrong_type(const std::string& found, const char* wanted, bool number = false) {
    return fail("invalid type: " + found + ", expected " + wanted, number);
  }
  bool out_of_range(const Found& v, Field f) {
    return fail("invalid value: " + describe(v) + ", expected " + expectation(f), true);
  }
  template <class T>
  bool integer(const Found& v, Field f, std::int64_t lo, std::int64_t hi, T& out);

  // The item being filled: the last one of the list its sequence fills.
  template <class T>
  T& item(std::vector<T>& a, std::vector<T>& b) {
    return frames_[1].definition_field == 1 || frames_[1].definition_field == 3 ? a.back() : b.back();
  }
  RuleDefinition& rule() { return item(def_.open_rules, def_.break_rules); }
  WindowDefinition& window() { return item(def_.open_windows, def_.closed_windows); }

  std::string_view text_;
  const char* read_to_;
  Definition def_;
  Frame frames_[3];  // definition, sequence, item: the format is three levels deep
  int depth_ = 0;
  int skip_ = 0;     // depth inside a value that is skipped
  std::string error_;
};

Reader::Target Reader::target() {
  if (skip_ > 0) return {Target::Skip};
  if (depth_ == 0) return {Target::Item, Record::Definition};
  Frame& f = top();
  if (f.sequence) return {Target::Item, f.record};
  auto fields = layout_of(f.record).fields;
  int index = f.pending;
  if (f.array_form) index = f.count++ < fields.size() ? static_cast<int>(f.count - 1) : -1;
  if (index < 0) return {Target::Skip};
  return {Target::Member, f.record, index, fields[static_cast<std::size_t>(index)].type};
}

bool Reader::scalar(const Found& v) {
  Target t = target();
  bool number = v.kind == Found::Signed || v.kind == Found::Unsigned || v.kind == Found::Float;
  switch (t.kind) {
    case Target::Skip: return true;
    case Target::Item: return wrong_type(describe(v), layout_of(t.record).name, number);
    case Target::Member: return store(t, v);
  }
  return true;
}

template <class T>
bool Reader::integer(const Found& v, Field f, std::int64_t lo, std::int64_t hi, T& out) {
  if (v.kind == Found::Signed && v.i >= lo && v.i <= hi) {
    out = static_cast<T>(v.i);
    return true;
  }
  if (v.kind == Found::Unsigned && v.u <= static_cast<std::uint64_t>(hi)) {
    out = static_cast<T>(v.u);
    return true;
  }
  if (v.kind == Found::Signed || v.kind == Found::Unsigned || (v.kind == Found::Float && is_integer_text(v.text)))
    return out_of_range(v, f);
  return wrong_type(describe(v), expectation(f), v.kind == Found::Float);
}

bool Reader::store(const Target& t, const Found& v) {
  const int k = t.field;
  switch (t.type) {
    case Field::I32: {
      std::int32_t& out = t.record == Record::Definition ? def_.default_capacity
                          : t.record == Record::Capacity ? def_.capacity_windows.back().capacity
                                                         : def_.entries.back().capacity;
      return integer(v, t.type, INT32_MIN, INT32_MAX, out);
    }
    case Field::U8: {
      std::uint8_t& out = t.record == Record::Rule ? rule().day : def_.entries.back().kind;
      return integer(v, t.type, 0, 255, out);
    }
    case Field::Id:
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      def_.entries.back().id.assign(v.text);
      return true;
    case Field::Instant: {
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      auto parsed = parse_instant(v.text);
      if (!parsed) return fail(parsed.error());
      Instant& out = t.record == Record::Window     ? (k == 0 ? window().start : window().end)
                     : t.record == Record::Capacity ? (k == 0 ? def_.capacity_windows.back().start
                                                              : def_.capacity_windows.back().end)
                                                    : (k == 2 ? def_.entries.back().start : def_.entries.back().end);
      out = *parsed;
      return true;
    }
    case Field::Time: {
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      auto parsed = parse_time_of_day(v.text);
      if (!parsed) return fail(parsed.error());
      (k == 1 ? rule().start : rule().end) = *parsed;
      return true;
    }
    default:
      return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
  }
}

bool Reader::open(bool array) {
  if (depth_ + skip_ >= kMaxJsonDepth) return fail("recursion limit exceeded");
  Target t = target();
  if (t.kind == Target::Skip) {
    ++skip_;
    return true;
  }
  if (t.kind == Target::Member) {
    if (!array || !is_sequence(t.type)) return wrong_type(array ? "sequence" : "map", expectation(t.type));
    frames_[depth_++] = Frame{element_of(t.type), true, true, 0, -1, 0, t.field};
    return true;
  }
  if (depth_ > 0) {  // an item of the sequence on top
    switch (t.record) {
      case Record::Rule: (frames_[1].definition_field == 1 ? def_.open_rules : def_.break_rules).emplace_back(); break;
      case Record::Window:
        (frames_[1].definition_field == 3 ? def_.open_windows : def_.closed_windows).emplace_back();
        break;
      case Record::Capacity: def_.capacity_windows.emplace_back(); break;
      default: def_.entries.emplace_back(); break;
    }
  }
  frames_[depth_++] = Frame{t.record, false, array};
  return true;
}

bool Reader::close() {
  if (skip_ > 0) {
    --skip_;
    return true;
  }
  Frame& f = top();
  if (!f.sequence) {
    const RecordLayout& s = layout_of(f.record);
    if (f.array_form && f.count != s.fields.size())
      return fail("invalid length " + std::to_string(f.count) + ", expected " + s.name + " with " +
                  std::to_string(s.fields.size()) + " elements");
    if (!f.array_form)
      for (std::size_t i = 0; i < s.fields.size(); ++i)
        if (!(f.seen & (1u << i))) return fail("missing field `" + std::string(s.fields[i].key) + "`");
  }
  --depth_;
  return true;
}

bool Reader::key(json::string_t& k) {
  if (skip_ > 0) return true;
  Frame& f = top();
  auto fields = layout_of(f.record).fields;
  f.pending = -1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].key != k) continue;
    if (f.seen & (1u << i)) return fail("duplicate field `" + k + "`");
    f.seen = static_cast<std::uint8_t>(f.seen | (1u << i));
    f.pending = static_cast<int>(i);
    break;
  }
  return true;
}

// fail: records the message with the position of the last character read.
// The library reads one character past a number before reporting it; a
// number always ends in a digit, so that character is left out.
bool Reader::fail(std::string message, bool number) {
  auto end = static_cast<std::size_t>(read_to_ - text_.data());
  if (number && end > 0 && !(text_[end - 1] >= '0' && text_[end - 1] <= '9')) --end;
  error_ = std::move(message) + position_suffix(text_, end);
  return false;
}

}  // namespace

JsonResult<Definition> read_json(std::string_view text) {
  if (is_blank_id(text)) return std::unexpected(JsonError{msg::kEmptyJson});
  // The library skips a leading byte order mark; the format does not allow one.
  if (text.starts_with("\xEF\xBB\xBF")) {
    Reader reader(text);
    reader.syntax_error("syntax error while parsing value - unexpected byte order mark", 3);
    return std::unexpected(reader.take_error());
  }
  // Reading is deterministic, so the position of a failure is found by reading
  // the text again with an iterator that records how far the library got;
  // successful reads do not pay for that.
  {
    Reader reader(text);
    if (json::sax_parse(text.data(), text.data() + text.size(), &reader)) return std::move(reader.definition());
  }
  Reader reader(text);
  TrackingIterator first(text.data(), reader.read_to());
  TrackingIterator last(text.data() + text.size(), reader.read_to());
  json::sax_parse(first, last, &reader);
  return std::unexpected(reader.take_error());
}

}  // namespace hourloom
