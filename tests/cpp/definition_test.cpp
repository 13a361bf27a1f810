// What Python cannot hand the definition code: raw bytes that are not UTF-8.
#include <gtest/gtest.h>

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
  Definition d;
  d.entries.push_back({"\xFF", 0, {}, {}, 0});
  auto text = write_json(d, false);
  ASSERT_FALSE(text);
  EXPECT_FALSE(text.error().message.starts_with("[json.exception"));
}

}  // namespace
}  // namespace hourloom
