// Maps a stream of JSON events (scalars, keys, containers opening and closing)
// onto definition records with a small stack of frames: it checks field names,
// types and ranges, and keeps the first problem as a message with the position
// of the last character the tokenizer had read (its offset in *read_to()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "definition/definition.h"

namespace hourloom {

// Containers nested deeper than this (inside skipped values) end the read.
inline constexpr int kMaxJsonDepth = 128;

// Both tokenizers skip a leading byte order mark; the format does not allow one.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// is_json_number: whether the text is one JSON number, of any size
// ("-0", "1e400", a 400-digit integer; not "01", "1.", "+1").
bool is_json_number(std::string_view t);

enum class Record : std::uint8_t { Definition, Rule, Window, Capacity, Entry };
enum class Field : std::uint8_t { I32, U8, Id, Instant, Time, Rules, Windows, Capacities, Entries };
// Slot: one field of one record, named, so that storing a value never depends
// on where the field stands in its record's layout.
enum class Slot : std::uint8_t {
  DefaultCapacity, OpenRules, BreakRules, OpenWindows, ClosedWindows, CapacityWindows, Entries,
  RuleDay, RuleStart, RuleEnd,
  WindowStart, WindowEnd,
  CapacityStart, CapacityEnd, CapacityValue,
  EntryId, EntryKind, EntryStart, EntryEnd, EntryCapacity,
};

class RecordReader {
 public:
  // Found: a scalar as the tokenizer reports it, for storing or describing.
  struct Found {
    enum Kind : std::uint8_t { Signed, Unsigned, Float, Bool, Null, String } kind = Null;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    std::string_view text = {};  // Float: the number as written; String: the decoded text
    bool b = false;
  };

  explicit RecordReader(std::string_view text) : text_(text), read_to_(text.data()) {}

  // The tokenizer keeps the pointer at the next byte it has not read yet.
  const char** read_to() { return &read_to_; }
  Definition& definition() { return def_; }
  JsonError take_error() { return JsonError{std::move(error_)}; }

  // Events; each returns false once the read has failed.
  bool null() { return scalar(Found{}); }
  bool boolean(bool b) { return scalar({.kind = Found::Bool, .b = b}); }
  bool number_integer(std::int64_t i) { return scalar({.kind = Found::Signed, .i = i}); }
  bool number_unsigned(std::uint64_t u) { return scalar({.kind = Found::Unsigned, .u = u}); }
  // number_float: any other number, as written (a fraction, an exponent, or
  // an integer too large for 64 bits).
  bool number_float(std::string_view written) { return scalar({.kind = Found::Float, .text = written}); }
  bool string(std::string_view s) { return scalar({.kind = Found::String, .text = s}); }
  bool key(std::string_view k);
  bool start_object() { return open(false); }
  bool start_array() { return open(true); }
  bool end_object() { return close(); }
  bool end_array() { return close(); }
  // fail: a problem the tokenizer found, at the current position.
  bool fail(std::string message) { return fail(std::move(message), false); }
  // fail_at: the same, with the offset just past the last character read.
  bool fail_at(std::string message, std::size_t read) {
    read_to_ = text_.data() + read;
    return fail(std::move(message), false);
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
    Slot list = Slot::Entries; // sequence: which list of the definition it fills
  };
  // Where the next value goes.
  struct Target {
    enum Kind : std::uint8_t { Skip, Item, Member } kind;
    Record record = Record::Definition;  // Item: the record; Member: the record it belongs to
    Slot slot = Slot::DefaultCapacity;   // Member
    Field type = Field::I32;             // Member
  };

  Frame& top() { return frames_[depth_ - 1]; }
  Target target();
  bool scalar(const Found& v);
  bool store(const Target& t, const Found& v);
  bool open(bool array);
  bool close();
  bool fail(std::string message, bool number);
  bool wrong_type(const std::string& found, const char* wanted, bool number = false) {
    return fail("invalid type: " + found + ", expected " + wanted, number);
  }
  bool out_of_range(const Found& v, Field f);
  template <class T>
  bool integer(const Found& v, Field f, std::int64_t lo, std::int64_t hi, T& out);

  // The members a value is stored in, for a slot of the item being filled
  // (the last one of the list its sequence fills).
  Frame& sequence() { return frames_[1]; }
  RuleDefinition& rule() { return (sequence().list == Slot::OpenRules ? def_.open_rules : def_.break_rules).back(); }
  WindowDefinition& window() {
    return (sequence().list == Slot::OpenWindows ? def_.open_windows : def_.closed_windows).back();
  }
  // add_item: appends an empty record to a list. The first one reserves room
  // for as many records as the text would hold at kTypicalRecordText bytes
  // each, so that a long list is not moved and written again as it grows
  // (room never written costs address space only).
  static constexpr std::size_t kTypicalRecordText = 64;
  template <class T>
  void add_item(std::vector<T>& list) {
    if (list.empty()) list.reserve(text_.size() / kTypicalRecordText);
    list.emplace_back();
  }
  void trim(Slot list);
  std::int32_t& i32_member(Slot s);
  std::uint8_t& u8_member(Slot s);
  Instant& instant_member(Slot s);
  TimeOfDay& time_member(Slot s);

  std::string_view text_;
  const char* read_to_;
  Definition def_;
  Frame frames_[3];  // definition, sequence, item: the format is three levels deep
  int depth_ = 0;
  int skip_ = 0;     // depth inside a value that is skipped
  std::string error_;
};

}  // namespace hourloom
