// The structure (key order, separators, indentation) is written here directly
// from the records, without a document tree, and so are the string escapes:
// \" \\ \b \f \n \r \t, other controls as \u00xx in lower case, everything
// else as its UTF-8 bytes, once they are known to be valid UTF-8.
#include "definition/json_writer.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "time/format.h"
#include "time/utf8.h"

namespace hourloom {

namespace {

// utf8_problem: nothing for valid UTF-8 (time/utf8.h); otherwise what is
// wrong and at which byte.
std::optional<std::string> utf8_problem(std::string_view s) {
  auto hex = [&](std::size_t i) {
    const char* digits = "0123456789ABCDEF";
    const auto b = static_cast<unsigned char>(s[i]);
    return std::string{'0', 'x', digits[b >> 4], digits[b & 15]};
  };
  for (std::size_t i = 0; i < s.size();) {
    if (decode_utf8(s, i)) continue;
    if (i == s.size()) return "incomplete UTF-8 string; last byte: " + hex(i - 1);
    return "invalid UTF-8 byte at index " + std::to_string(i) + ": " + hex(i);
  }
  return std::nullopt;
}

class Writer {
 public:
  Writer(std::string& out, bool indented) : out_(out), indented_(indented) {}

  void begin(char bracket) {
    out_ += bracket;
    ++level_;
  }
  void end(char bracket, bool empty) {
    --level_;
    if (!empty) newline();
    out_ += bracket;
  }
  // key: the separator before a member (none before the first), then "key": .
  void key(std::string_view k, bool first) {
    if (!first) out_ += ',';
    newline();
    out_ += '"';
    out_ += k;
    out_ += indented_ ? "\": " : "\":";
  }
  void element(bool first) {
    if (!first) out_ += ',';
    newline();
  }
  void integer(long long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
  }
  void instant(Instant t) {
    out_ += '"';
    append_instant(out_, t, 'T');
    out_ += '"';
  }
  void time_of_day(TimeOfDay t) {
    out_ += '"';
    append_time_of_day(out_, t);
    out_ += '"';
  }
  // text: the string in quotes, with the bytes that need no escape copied in
  // runs; a string that is not valid UTF-8 leaves its problem in problem().
  void text(std::string_view s) {
    out_ += '"';
    std::size_t run = 0;  // the first byte not yet written
    unsigned seen = 0;    // every byte or-ed together: bit 7 set when any is not ASCII
    for (std::size_t i = 0; i < s.size(); ++i) {
      auto b = static_cast<unsigned char>(s[i]);
      seen |= b;
      if (b >= 0x20 && b != '"' && b != '\\') continue;
      out_.append(s.substr(run, i - run));
      escape(b);
      run = i + 1;
    }
    out_.append(s.substr(run));
    out_ += '"';
    if ((seen & 0x80) != 0 && !problem_) problem_ = utf8_problem(s);
  }
  std::optional<std::string>& problem() { return problem_; }

  template <class T, class F>
  void array(std::string_view k, const std::vector<T>& items, F record) {
    key(k, false);
    begin('[');
    bool first = true;
    for (const T& item : items) {
      element(first);
      first = false;
      begin('{');
      record(item);
      end('}', false);
    }
    end(']', items.empty());
  }

 private:
  void newline() {
    if (!indented_) return;
    out_ += '\n';
    out_.append(2 * static_cast<std::size_t>(level_), ' ');
  }
  void escape(unsigned char b) {
    out_ += '\\';
    switch (b) {
      case '"': out_ += '"'; break;
      case '\\': out_ += '\\'; break;
      case '\b': out_ += 'b'; break;
      case '\f': out_ += 'f'; break;
      case '\n': out_ += 'n'; break;
      case '\r': out_ += 'r'; break;
      case '\t': out_ += 't'; break;
      default:
        out_ += "u00";
        out_ += "0123456789abcdef"[b >> 4];
        out_ += "0123456789abcdef"[b & 15];
    }
  }
  std::string& out_;
  bool indented_;
  int level_ = 0;
  std::optional<std::string> problem_;
};

void write_rule(Writer& w, const RuleDefinition& r) {
  w.key("day", true);
  w.integer(r.day);
  w.key("start", false);
  w.time_of_day(r.start);
  w.key("end", false);
  w.time_of_day(r.end);
}

void write_window(Writer& w, const WindowDefinition& r) {
  w.key("start", true);
  w.instant(r.start);
  w.key("end", false);
  w.instant(r.end);
}

// A rough size: enough for the compact form of typical records, so that the
// buffer rarely grows.
std::size_t estimated_size(const Definition& d) {
  std::size_t rules = d.open_rules.size() + d.break_rules.size();
  std::size_t windows = d.open_windows.size() + d.closed_windows.size();
  std::size_t size = 128 + rules * 48 + windows * 56 + d.capacity_windows.size() * 72;
  for (const EntryDefinition& e : d.entries) size += 96 + e.id.size();
  return size;
}

}  // namespace

JsonResult<std::string> write_json(const Definition& d, bool indented) {
  std::string out;
  out.reserve(indented ? 2 * estimated_size(d) : estimated_size(d));
  Writer w(out, indented);
  w.begin('{');
  w.key("defaultCapacity", true);
  w.integer(d.default_capacity);
  w.array("openRules", d.open_rules, [&](const RuleDefinition& r) { write_rule(w, r); });
  w.array("breakRules", d.break_rules, [&](const RuleDefinition& r) { write_rule(w, r); });
  w.array("openWindows", d.open_windows, [&](const WindowDefinition& r) { write_window(w, r); });
  w.array("closedWindows", d.closed_windows, [&](const WindowDefinition& r) { write_window(w, r); });
  w.array("capacityWindows", d.capacity_windows, [&](const CapacityDefinition& r) {
    w.key("start", true);
    w.instant(r.start);
    w.key("end", false);
    w.instant(r.end);
    w.key("capacity", false);
    w.integer(r.capacity);
  });
  w.array("entries", d.entries, [&](const EntryDefinition& e) {
    w.key("id", true);
    w.text(e.id);
    w.key("kind", false);
    w.integer(e.kind);
    w.key("start", false);
    w.instant(e.start);
    w.key("end", false);
    w.instant(e.end);
    w.key("capacity", false);
    w.integer(e.capacity);
  });
  w.end('}', false);
  if (w.problem()) return Unexpected(JsonError{std::move(*w.problem())});
  return out;
}

}  // namespace hourloom
