// What Python cannot hand the definition code (raw bytes that are not UTF-8),
// and the reader's two tokenizers agreeing on mutated texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "definition/conversion.h"
#include "definition/json_reader.h"
#include "definition/json_writer.h"

namespace hourloom {
namespace {

TEST(DefinitionJson, MalformedUtf8IsAnErrorWithAPosition) {
  auto in_string = read_json("[1,[],[],[],[],[],[[\"a\xC3(\",0,0,0,0]]]");
  ASSERT_FALSE(in_string);
  EXPECT_TRUE(in_string.error().message.ends_with(" at line 1 column 24")) << in_string.error().message;
  auto outside = read_json("[1,\xFF]");
  ASSERT_FALSE(outside);
  EXPECT_TRUE(outside.error().message.ends_with(" at line 1 column 4")) << outside.error().message;
}

TEST(DefinitionJson, WriterRefusesAnIdThatIsNotUtf8) {
  const std::pair<std::string, std::string> refused[] = {
      {"\xFF", "invalid UTF-8 byte at index 0: 0xFF"},
      {"ab\xC0\xA0", "invalid UTF-8 byte at index 2: 0xC0"},          // overlong space
      {"\xE0\x9F\xBF", "invalid UTF-8 byte at index 1: 0x9F"},        // overlong U+07FF
      {"\xED\xA0\x80", "invalid UTF-8 byte at index 1: 0xA0"},        // a surrogate
      {"\xF4\x90\x80\x80", "invalid UTF-8 byte at index 1: 0x90"},   // above U+10FFFF
      {"\xC3\xA9\xE3\x80", "incomplete UTF-8 string; last byte: 0x80"},
      {"\xE3\x80x", "invalid UTF-8 byte at index 2: 0x78"},
  };
  for (const auto& [id, message] : refused) {
    Definition d;
    d.entries.push_back({id, 0, {}, {}, 0});
    auto text = write_json(d, false);
    ASSERT_FALSE(text) << id;
    EXPECT_EQ(text.error().message, message);
  }
  Definition d;
  d.entries.push_back({"\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF\xF0\x90\x80\x80", 0, {}, {}, 0});
  EXPECT_TRUE(write_json(d, false));  // U+D7FF, U+E000, U+10FFFF, U+10000
}

// EndsWithAPosition: message ends with " at line L column C".
bool EndsWithAPosition(const std::string& message) {
  std::size_t at = message.rfind(" at line ");
  if (at == message.npos) return false;
  std::size_t column = message.find(" column ", at);
  auto digits = [&](std::size_t from, std::size_t to) {
    return to > from && std::all_of(message.begin() + static_cast<long>(from), message.begin() + static_cast<long>(to),
                                    [](char c) { return c >= '0' && c <= '9'; });
  };
  return column != message.npos && digits(at + 9, column) && digits(column + 8, message.size());
}

// The fast walk must never accept a text differently from the event reader:
// whatever it accepts reads to the same definition, writes text that reads
// back to it, and, where it makes a calendar, that calendar writes stable text;
// everything else is answered by the event reader itself, with a position.
// Mutations of texts that use every feature of the format (both record forms,
// skipped values of every kind, escapes, numbers at the 64-bit edges, nesting
// at the depth limit, long strings); HOURLOOM_FUZZ_ITERATIONS sets a longer run.
TEST(DefinitionJson, FastReadingAgreesWithTheEventReader) {
  const std::vector<std::string> seeds = {
      R"({"defaultCapacity":2,"openRules":[{"day":1,"start":"08:00:00","end":"17:00:00"}],"breakRules":[],)"
      R"("openWindows":[{"start":"2024-05-11T09:00:00","end":"2024-05-11T13:00:00"}],"closedWindows":[],)"
      R"("capacityWindows":[{"start":"2024-05-13T08:00:00","end":"2024-05-13T12:00:00","capacity":5}],)"
      R"("entries":[{"id":"audit","kind":1,"start":"2024-05-14T13:00:00","end":"2024-05-14T15:30:45.500","capacity":0}]})",
      R"([-0,[[1,"08:00","17:00:00.5"]],[[0,"23:59:60","23:59:59"]],[["+10000-01-01T00:00:00",)"
      R"("-0001-12-31T23:59:60"]],[],[["2024-01-01T00:00:00","2024-01-02T00:00:00",2147483647]],)"
      R"([["a\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00",255,"2024-01-01T00:00:00","2024-01-01T01:00:00",-2147483648]]])",
      " {\"note\" : [1.5e3, -0.0, 18446744073709551615, -9223372036854775808, true, false,\n"
      " null, {\"x\": [[]]}, \"\\ud800\\udc00\"], \"\\u0065ntries\" : [], \"defaultCapacity\":-1, \"openRules\":[],\r\n"
      " \"breakRules\":[], \"openWindows\":[], \"closedWindows\":[], \"capacityWindows\":[],\t\"x\":{}}\n",
  };
  const std::vector<std::string> pieces = {
      "\"", "{", "}", "[", "]", ",", ":", "0", "-", "e", ".", "1e400", "99999999999999999999", "\\", "\\u",
      "\\ud800", "\\udc00", std::string(1, '\0'), "\x01", "\n", " ", "\xC3\xA9", "\xED\xA0\x80", "\xF0\x9F\x98\x80",
      "\xFF", "\xEF\xBB\xBF", "null", "tru", "true", "\"x\"", "T", "60", "+", "-0", "01", "1.", "\"entries\"",
      "[[[[[[", std::string(127, '['), std::string(128, '['), "\"" + std::string(3000, 'a') + "\""};
  const std::vector<std::string> values = {"1e400", "-0", "-0.0e-0", "18446744073709551616", "[[],{}]",
                                           "\"\\u0000\\ud834\\udd1e\"", "{\"\":null}", "true", "\"\xC3\xA9\""};
  const char* env = std::getenv("HOURLOOM_FUZZ_ITERATIONS");
  const long iterations = env ? std::atol(env) : 30000;
  std::mt19937_64 rng(20261207);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  long accepted = 0;
  for (long k = 0; k < iterations; ++k) {
    std::string text = seeds[below(seeds.size())];
    for (std::size_t m = 1 + below(3); m > 0; --m) {
      std::size_t i = below(text.size() + 1), j = std::min(text.size(), i + 1 + below(8));
      std::size_t at = text.find_first_of(below(2) ? "{" : "0123456789", i);
      switch (below(8)) {
        case 0: text.resize(i); break;
        case 1: text.replace(i, j - i, pieces[below(pieces.size())]); break;
        case 2: text.insert(i, pieces[below(pieces.size())]); break;
        case 3: text.insert(i, 1, static_cast<char>(below(256))); break;
        case 4: text.erase(i, j - i); break;
        // Mostly still valid: a digit changed, a member to skip, white space.
        case 5:
          if (at != text.npos && text[at] != '{') text[at] = static_cast<char>('0' + below(10));
          break;
        case 6:
          if (at != text.npos && text[at] == '{') text.insert(at + 1, "\"k\":" + values[below(values.size())] + ",");
          break;
        default:
          if (std::size_t p = text.find_first_of(",:[{", i); p != text.npos) text.insert(p + 1, " \t\r\n", below(5));
          break;
      }
    }
    auto fast = read_json(text);
    auto events = read_json_by_events(text);
    ASSERT_EQ(fast.has_value(), events.has_value()) << text;
    if (!fast) {
      ASSERT_EQ(fast.error().message, events.error().message) << text;
      ASSERT_TRUE(EndsWithAPosition(fast.error().message) || fast.error().message == "JSON cannot be empty.")
          << fast.error().message;
      continue;
    }
    ++accepted;
    ASSERT_TRUE(*fast == *events) << text;
    ASSERT_TRUE(read_json(write_json(*fast, false).value()).value() == *fast) << text;
    auto calendar = to_calendar(*fast);
    if (!calendar) continue;
    const std::string saved = write_json(to_definition(*calendar).value(), false).value();
    ASSERT_EQ(write_json(to_definition(to_calendar(read_json(saved).value()).value()).value(), false).value(), saved);
  }
  EXPECT_GT(accepted, iterations / 10);  // enough mutations stay valid to exercise the fast walk
}

}  // namespace
}  // namespace hourloom
