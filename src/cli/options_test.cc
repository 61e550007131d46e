#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vu32 {
namespace {

TEST(LongOptionsTest, TakenOutWhereverTheyStandBeforeDoubleDash) {
  using Ending = LongOptions::Ending;
  struct Row {
    std::vector<std::string> args;  // after the program name
    std::vector<std::string> kept;
    Ending ending;
    bool quiet, in_place, keep_time;
  } rows[] = {
      {{"-Cu", "a.txt"}, {"-Cu", "a.txt"}, Ending::kNone, false, false, false},
      {{"--quiet", "-Cu", "a", "--in-place", "b", "--keep-time"},
       {"-Cu", "a", "b"},
       Ending::kNone,
       true,
       true,
       true},
      {{"--", "-Cu", "a.txt"},
       {"-Cu", "a.txt"},
       Ending::kNone,
       false,
       false,
       false},
      // After "--" nothing is an option, not even a second "--".
      {{"-Cu", "--", "--quiet", "--"},
       {"-Cu", "--quiet", "--"},
       Ending::kNone,
       false,
       false,
       false},
      {{"-S1L", "--#^CH", "f"},
       {"-S1L", "--#^CH", "f"},
       Ending::kNone,
       false,
       false,
       false},
      {{"-L", "--help", "--bogus"}, {"-L"}, Ending::kHelp, false, false, false},
      {{"--bogus", "--version"}, {}, Ending::kUnknown, false, false, false},
      {{"--version", "--quiet"}, {}, Ending::kVersion, true, false, false},
      {{"--quiet=1"}, {}, Ending::kUnknown, false, false, false},
      {{"-", "-x", "--"}, {"-", "-x"}, Ending::kNone, false, false, false},
  };
  for (const Row& row : rows) {
    std::vector<std::string> words = {"vu32"};
    words.insert(words.end(), row.args.begin(), row.args.end());
    std::vector<char*> args;
    std::string trace;
    for (std::string& w : words) {
      args.push_back(w.data());
      trace += w + " ";
    }
    SCOPED_TRACE(trace);
    LongOptions options = ExtractLongOptions(&args);
    std::vector<std::string> kept(args.begin() + 1, args.end());
    EXPECT_EQ(args[0], std::string("vu32"));
    EXPECT_EQ(kept, row.kept);
    EXPECT_EQ(options.ending, row.ending);
    EXPECT_EQ(options.quiet, row.quiet);
    EXPECT_EQ(options.in_place, row.in_place);
    EXPECT_EQ(options.keep_time, row.keep_time);
  }
}

}  // namespace
}  // namespace vu32
