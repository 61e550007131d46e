#include "test_util.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vu32::testing {

std::string Hex(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    if (!out.empty()) out.push_back(' ');
    out += buf;
  }
  return out;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string FromHex(std::string_view hex) {
  std::string out;
  size_t i = 0;
  while (i < hex.size()) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(
        std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string RunWhole(ByteFilter& filter, std::string_view input) {
  std::string out;
  {
    ByteWriter writer(&out);
    filter.Feed(reinterpret_cast<const uint8_t*>(input.data()), input.size(),
                writer);
    filter.Finish(writer);
    writer.Flush();
  }
  return out;
}

std::string RunCut(ByteFilter& filter, std::string_view input,
                   const std::vector<size_t>& cuts) {
  std::string out;
  {
    ByteWriter writer(&out);
    std::vector<uint8_t> scratch;
    size_t begin = 0;
    auto feed = [&](size_t end) {
      scratch.assign(input.begin() + static_cast<long>(begin),
                     input.begin() + static_cast<long>(end));
      filter.Feed(scratch.data(), scratch.size(), writer);
      // The reader reuses its buffer: nothing of a block may be kept.
      std::fill(scratch.begin(), scratch.end(), uint8_t{'Z'});
      begin = end;
    };
    for (size_t cut : cuts) feed(cut);
    feed(input.size());
    filter.Finish(writer);
    writer.Flush();
  }
  return out;
}

std::vector<size_t> RandomCuts(std::mt19937& rng, size_t size) {
  std::uniform_int_distribution<size_t> count(0, 8);
  std::uniform_int_distribution<size_t> at(0, size);
  std::vector<size_t> cuts(count(rng));
  for (size_t& c : cuts) c = at(rng);
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}

std::string RandomSjisLike(std::mt19937& rng, size_t size) {
  static const unsigned char kInteresting[] = {
      0x0D, 0x0A, 0x09, 0x00, 0x1A, 0x7F, 'a',  'z',  'A',  'Z',  ' ',
      0x81, 0x82, 0x83, 0x9F, 0xE0, 0xFC, 0x40, 0x7E, 0x80, 0xA1, 0xB6,
      0xCA, 0xDE, 0xDF, 0xFD, 0xFF, 0x5C, 0x61, 0x41, 0xB3};
  std::uniform_int_distribution<int> pick(0, 3);
  std::uniform_int_distribution<size_t> which(0, sizeof kInteresting - 1);
  std::uniform_int_distribution<int> any(0, 255);
  std::string out(size, '\0');
  for (char& c : out) {
    c = static_cast<char>(pick(rng) == 0 ? any(rng) : kInteresting[which(rng)]);
  }
  return out;
}

ScopedTempDir::ScopedTempDir() {
  namespace fs = std::filesystem;
  std::random_device seed;
  std::mt19937 rng(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("vu32-test-" + std::to_string(rng()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("no temporary directory");
}

ScopedTempDir::~ScopedTempDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Make everything removable again (tests may take permissions away).
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); ++it) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                    ec);
  }
  fs::remove_all(path_, ec);
}

std::string ScopedTempDir::File(const std::string& name) const {
  return path_ + "/" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

void KernelLevelTest::SetUp() {
  if (!scan::UseLevel(GetParam())) {
    GTEST_SKIP() << scan::LevelName(GetParam()) << " not available here";
  }
}

void KernelLevelTest::TearDown() { scan::UseLevel(scan::BestLevel()); }

std::string LevelTestName(const ::testing::TestParamInfo<scan::Level>& info) {
  std::string name;
  for (const char* p = scan::LevelName(info.param); *p; ++p) {
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
  }
  return name;
}

}  // namespace vu32::testing
