// The structure (key order, separators, indentation) is written here directly
// from the records, without a document tree; string escapes come from the JSON
// library, whose escapes are exactly the ones the format uses (\" \\ \b \f \n
// \r \t, other controls as \u00xx in lower case, everything else as UTF-8).
#include "definition/json_writer.h"

#include <charconv>
#include <string_view>

#include <nlohmann/json.hpp>

#include "time/format.h"

namespace hourloom {

namespace {

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
  void text(const std::string& s) {
    // Plain printable ASCII needs no escape; anything else goes through the library.
    bool plain = true;
    for (char c : s) {
      auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b >= 0x80 || c == '"' || c == '\\') {
        plain = false;
        break;
      }
    }
    if (plain) {
      out_ += '"';
      out_ += s;
      out_ += '"';
    } else {
      out_ += nlohmann::json(s).dump();
    }
  }

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
  std::string& out_;
  bool indented_;
  int level_ = 0;
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
  try {
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
  } catch (const nlohmann::json::exception& e) {
    // The library's text after its "[json.exception.type_error.316] " tag.
    std::string_view what = e.what();
    auto tag_end = what.find("] ");
    return std::unexpected(JsonError{std::string(tag_end == what.npos ? what : what.substr(tag_end + 2))});
  }
  return out;
}

}  // namespace hourloom
