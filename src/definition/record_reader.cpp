#include "definition/record_reader.h"

#include <algorithm>
#include <span>

#include "definition/text.h"

namespace hourloom {

namespace {

using Found = RecordReader::Found;

// ---------------------------------------------------------------- record layout


struct FieldLayout {
  std::string_view key;
  Field type;
  Slot slot;
};
struct RecordLayout {
  const char* name;  // "struct RuleDefinition"
  std::span<const FieldLayout> fields;
};

constexpr FieldLayout kDefinitionFields[] = {
    {"defaultCapacity", Field::I32, Slot::DefaultCapacity},
    {"openRules", Field::Rules, Slot::OpenRules},
    {"breakRules", Field::Rules, Slot::BreakRules},
    {"openWindows", Field::Windows, Slot::OpenWindows},
    {"closedWindows", Field::Windows, Slot::ClosedWindows},
    {"capacityWindows", Field::Capacities, Slot::CapacityWindows},
    {"entries", Field::Entries, Slot::Entries},
};
constexpr FieldLayout kRuleFields[] = {
    {"day", Field::U8, Slot::RuleDay}, {"start", Field::Time, Slot::RuleStart}, {"end", Field::Time, Slot::RuleEnd}};
constexpr FieldLayout kWindowFields[] = {{"start", Field::Instant, Slot::WindowStart},
                                         {"end", Field::Instant, Slot::WindowEnd}};
constexpr FieldLayout kCapacityFields[] = {{"start", Field::Instant, Slot::CapacityStart},
                                           {"end", Field::Instant, Slot::CapacityEnd},
                                           {"capacity", Field::I32, Slot::CapacityValue}};
constexpr FieldLayout kEntryFields[] = {
    {"id", Field::Id, Slot::EntryId},           {"kind", Field::U8, Slot::EntryKind},
    {"start", Field::Instant, Slot::EntryStart}, {"end", Field::Instant, Slot::EntryEnd},
    {"capacity", Field::I32, Slot::EntryCapacity}};

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

}  // namespace

bool is_json_number(std::string_view t) {
  std::size_t i = 0;
  auto digits = [&] {
    std::size_t from = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    return i > from;
  };
  if (i < t.size() && t[i] == '-') ++i;
  if (i < t.size() && t[i] == '0') {
    ++i;
  } else if (!digits()) {
    return false;
  }
  if (i < t.size() && t[i] == '.' && (++i, !digits())) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (!digits()) return false;
  }
  return i == t.size();
}

[[gnu::always_inline]] inline RecordReader::Target RecordReader::target() {
  if (skip_ > 0) return {Target::Skip};
  if (depth_ == 0) return {Target::Item, Record::Definition};
  Frame& f = top();
  if (f.sequence) return {Target::Item, f.record};
  auto fields = layout_of(f.record).fields;
  int index = f.pending;
  if (f.array_form) index = f.count++ < fields.size() ? static_cast<int>(f.count - 1) : -1;
  if (index < 0) return {Target::Skip};
  const FieldLayout& field = fields[static_cast<std::size_t>(index)];
  return {Target::Member, f.record, field.slot, field.type};
}

bool RecordReader::scalar(const Found& v) {
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
bool RecordReader::integer(const Found& v, Field f, std::int64_t lo, std::int64_t hi, T& out) {
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

bool RecordReader::out_of_range(const Found& v, Field f) {
  return fail("invalid value: " + describe(v) + ", expected " + expectation(f), true);
}

std::int32_t& RecordReader::i32_member(Slot s) {
  switch (s) {
    case Slot::DefaultCapacity: return def_.default_capacity;
    case Slot::CapacityValue: return def_.capacity_windows.back().capacity;
    default: return def_.entries.back().capacity;  // EntryCapacity
  }
}

std::uint8_t& RecordReader::u8_member(Slot s) { return s == Slot::RuleDay ? rule().day : def_.entries.back().kind; }

Instant& RecordReader::instant_member(Slot s) {
  switch (s) {
    case Slot::WindowStart: return window().start;
    case Slot::WindowEnd: return window().end;
    case Slot::CapacityStart: return def_.capacity_windows.back().start;
    case Slot::CapacityEnd: return def_.capacity_windows.back().end;
    case Slot::EntryStart: return def_.entries.back().start;
    default: return def_.entries.back().end;  // EntryEnd
  }
}

TimeOfDay& RecordReader::time_member(Slot s) { return s == Slot::RuleStart ? rule().start : rule().end; }

bool RecordReader::store(const Target& t, const Found& v) {
  switch (t.type) {
    case Field::I32: return integer(v, t.type, INT32_MIN, INT32_MAX, i32_member(t.slot));
    case Field::U8: return integer(v, t.type, 0, 255, u8_member(t.slot));
    case Field::Id:
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      def_.entries.back().id.assign(v.text);
      return true;
    case Field::Instant: {
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      auto parsed = parse_instant(v.text);
      if (!parsed) return fail(parsed.error());
      instant_member(t.slot) = *parsed;
      return true;
    }
    case Field::Time: {
      if (v.kind != Found::String) return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
      auto parsed = parse_time_of_day(v.text);
      if (!parsed) return fail(parsed.error());
      time_member(t.slot) = *parsed;
      return true;
    }
    default:
      return wrong_type(describe(v), expectation(t.type), v.kind <= Found::Float);
  }
}

bool RecordReader::open(bool array) {
  if (depth_ + skip_ >= kMaxJsonDepth) return fail("recursion limit exceeded");
  Target t = target();
  if (t.kind == Target::Skip) {
    ++skip_;
    return true;
  }
  if (t.kind == Target::Member) {
    if (!array || !is_sequence(t.type)) return wrong_type(array ? "sequence" : "map", expectation(t.type));
    frames_[depth_++] = Frame{element_of(t.type), true, true, 0, -1, 0, t.slot};
    return true;
  }
  if (depth_ > 0) {  // an item of the sequence on top
    switch (t.record) {
      case Record::Rule: add_item(sequence().list == Slot::OpenRules ? def_.open_rules : def_.break_rules); break;
      case Record::Window:
        add_item(sequence().list == Slot::OpenWindows ? def_.open_windows : def_.closed_windows);
        break;
      case Record::Capacity: add_item(def_.capacity_windows); break;
      default: add_item(def_.entries); break;
    }
  }
  frames_[depth_++] = Frame{t.record, false, array};
  return true;
}

bool RecordReader::close() {
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
  } else {
    trim(f.list);
  }
  --depth_;
  return true;
}

// trim: gives back the room add_item reserved when the list used less than half of it.
void RecordReader::trim(Slot list) {
  auto trim_list = [](auto& items) {
    if (items.capacity() > 2 * items.size()) items.shrink_to_fit();
  };
  switch (list) {
    case Slot::OpenRules: return trim_list(def_.open_rules);
    case Slot::BreakRules: return trim_list(def_.break_rules);
    case Slot::OpenWindows: return trim_list(def_.open_windows);
    case Slot::ClosedWindows: return trim_list(def_.closed_windows);
    case Slot::CapacityWindows: return trim_list(def_.capacity_windows);
    default: return trim_list(def_.entries);  // Entries
  }
}

bool RecordReader::key(std::string_view k) {
  if (skip_ > 0) return true;
  Frame& f = top();
  auto fields = layout_of(f.record).fields;
  f.pending = -1;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].key != k) continue;
    if (f.seen & (1u << i)) return fail("duplicate field `" + std::string(k) + "`");
    f.seen = static_cast<std::uint8_t>(f.seen | (1u << i));
    f.pending = static_cast<int>(i);
    break;
  }
  return true;
}

// fail: records the message with the position of the last character read.
// The library reads one character past a number before reporting it; a
// number always ends in a digit, so that character is left out.
bool RecordReader::fail(std::string message, bool number) {
  auto end = static_cast<std::size_t>(read_to_ - text_.data());
  if (number && end > 0 && !(text_[end - 1] >= '0' && text_[end - 1] <= '9')) --end;
  error_ = std::move(message) + position_suffix(text_, end);
  return false;
}


}  // namespace hourloom
