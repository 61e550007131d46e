// Helpers shared by the unit tests.
#ifndef VU32_TESTS_TEST_UTIL_H_
#define VU32_TESTS_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "filters/filter.h"
#include "filters/scan.h"

namespace vu32::testing {

// "41 0D 0A" for failure messages.
std::string Hex(std::string_view bytes);
// Bytes from a list of values: Bytes({0x41, 0x0D}).
std::string Bytes(std::initializer_list<int> values);
// Parses "41 0D 0A" (hex, blank-separated) into bytes.
std::string FromHex(std::string_view hex);

// Feeds `input` to `filter` in one block and finishes it.
std::string RunWhole(ByteFilter& filter, std::string_view input);
// Feeds `input` cut at the given offsets (ascending) and finishes it. Each
// block is scribbled over once fed, as the reader's buffer is by the next
// read, so a filter that keeps a pointer into an old block is caught.
std::string RunCut(ByteFilter& filter, std::string_view input,
                   const std::vector<size_t>& cuts);
// Random ascending cut offsets inside [0, size].
std::vector<size_t> RandomCuts(std::mt19937& rng, size_t size);
// Random bytes biased towards the bytes filters care about: CR, LF, tab,
// letters, Shift-JIS lead and trail bytes, half-width kana.
std::string RandomSjisLike(std::mt19937& rng, size_t size);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);

// A test that runs once for each kernel level (scan::Level), skipped where
// this build or processor lacks the level: TEST_P(KernelLevelTest, ...) or a
// fixture derived from it, and INSTANTIATE_KERNEL_LEVELS(fixture).
class KernelLevelTest : public ::testing::TestWithParam<scan::Level> {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// "AVX2" for the test names.
std::string LevelTestName(const ::testing::TestParamInfo<scan::Level>& info);

#define INSTANTIATE_KERNEL_LEVELS(fixture)                                  \
  INSTANTIATE_TEST_SUITE_P(Levels, fixture,                                 \
                           ::testing::Values(::vu32::scan::Level::kScalar,  \
                                             ::vu32::scan::Level::kSse2,    \
                                             ::vu32::scan::Level::kAvx2,    \
                                             ::vu32::scan::Level::kAvx512), \
                           ::vu32::testing::LevelTestName)

}  // namespace vu32::testing

namespace vu32::scan {
// Levels by name in gtest's messages.
inline void PrintTo(Level level, std::ostream* os) { *os << LevelName(level); }
}  // namespace vu32::scan

#endif  // VU32_TESTS_TEST_UTIL_H_
