#include "merge/list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/byte_stream.h"
#include "test_util.h"

namespace vu32 {
namespace {

using testing::Hex;

std::vector<std::string> ListNames(const std::string& text) {
  ByteReader reader(text);
  ListFileReader list(&reader);
  std::vector<std::string> names;
  std::string name;
  while (list.Next(&name)) names.push_back(name);
  return names;
}

TEST(ListFileReaderTest, TextModeLines) {
  const std::string x254(254, 'x'), x255(255, 'x');
  struct Row {
    std::string text;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"ab"}},  // CR alone ends no line
      {"\n", {}},          // blank lines name nothing
      {"a\n\nb\r\n\r\n", {"a", "b"}},
      {"\xEF\xBB\xBF"
       "a\n",
       {"a"}},  // a UTF-8 byte-order mark at the start
      {"\xEF\xBB\xBF\n"
       "b\n",
       {"b"}},
      {"a\n\xEF\xBB\xBF"
       "b\n",
       {"a",
        "\xEF\xBB\xBF"
        "b"}},                         // only there
      {"a\nb\x1Ax\nd\n", {"a", "b"}},  // 0x1A ends the text
      {"\x1Az\n", {}},
      {" a \t\n", {" a \t"}},  // taken unchanged
      {"@x\n-o\n*.c\n", {"@x", "-o", "*.c"}},
      {x254 + "\n", {x254}},
      {x254 + "\r\n", {x254}},  // a dropped CR takes no room
      {x255 + "\n", {x255}},
      {x255 + "yz\n", {x255 + "yz"}},  // a long path is one name
      {std::string(600, 'y'), {std::string(600, 'y')}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(Hex(row.text.substr(0, 40)));
    EXPECT_EQ(ListNames(row.text), row.names);
  }
}

}  // namespace
}  // namespace vu32
