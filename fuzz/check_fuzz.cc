// libFuzzer target: any bytes as an input to check. The first byte seeds
// where the rest is cut into blocks. Checks that findings and counts do
// not depend on the cuts or on the scanner, that every finding's offset,
// bytes and context are those of the input, and that the whole-input guard
// judges as the guard of the whole start.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "check/checker.h"
#include "check/guard.h"

namespace vu32::check {
namespace {

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

struct Record : Listener {
  std::string log;
  std::vector<FaultRecord> faults;
  void OnFault(const FaultRecord& r) override {
    faults.push_back(r);
    log += std::to_string(r.offset) + " " + std::to_string(r.at.line) + ":" +
           std::to_string(r.at.column) + " " + FaultToken(r.fault) + "\n";
  }
  void OnNote(const NoteRecord& n) override {
    log += std::to_string(n.at.line) + ":" + std::to_string(n.at.column) + " " +
           NoteToken(n.note) + "\n";
  }
};

std::string Run(const std::string& in, const std::vector<size_t>& cuts,
                Record* record, Summary* summary) {
  Checker checker(record, true);
  size_t at = 0;
  for (size_t cut : cuts) {
    checker.Feed(reinterpret_cast<const uint8_t*>(in.data()) + at, cut - at);
    at = cut;
  }
  checker.Feed(reinterpret_cast<const uint8_t*>(in.data()) + at,
               in.size() - at);
  checker.Finish();
  *summary = checker.summary();
  const Summary& s = *summary;
  return record->log + std::to_string(s.total_faults) + " " +
         std::to_string(s.lines) + " " + std::to_string(s.longest_line) + " " +
         std::to_string(s.two_byte) + " " + std::to_string(s.kana) + " " +
         s.verdict.Text();
}

void CheckRecords(const std::string& in, const Record& record) {
  uint64_t previous = 0;
  for (const FaultRecord& r : record.faults) {
    Require(r.offset >= previous && r.offset < in.size(), "offsets in order");
    Require(r.at.line >= 1 && r.at.column >= 1, "lines and columns from 1");
    previous = r.offset;
    for (unsigned k = 0; k < r.bytes.size; ++k) {
      Require(static_cast<uint8_t>(in[r.offset + k]) == r.bytes.byte[k],
              "the fault's bytes");
    }
    for (unsigned k = 0; k < r.before.size; ++k) {
      Require(static_cast<uint8_t>(in[r.offset - r.before.size + k]) ==
                  r.before.byte[k],
              "the bytes before");
    }
    const size_t after = r.offset + r.bytes.size;
    Require(r.after.size == std::min<size_t>(3, in.size() - after),
            "as many bytes after as there are");
    for (unsigned k = 0; k < r.after.size; ++k) {
      Require(static_cast<uint8_t>(in[after + k]) == r.after.byte[k],
              "the bytes after");
    }
  }
}

}  // namespace
}  // namespace vu32::check

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vu32::check;
  if (size == 0) return 0;
  const std::string in(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::mt19937 rng(data[0]);
  std::vector<size_t> cuts;
  for (size_t at = 0; in.size() > 0;) {
    at += 1 + rng() % (rng() % 2 ? 7 : 200);
    if (at >= in.size()) break;
    cuts.push_back(at);
  }
  UseKernel(vu32::scan::Level::kAvx512) || UseKernel(vu32::scan::Level::kAvx2);
  Record whole_record, cut_record, portable_record;
  Summary whole, cut, portable;
  const std::string expected = Run(in, {}, &whole_record, &whole);
  Require(Run(in, cuts, &cut_record, &cut) == expected, "cuts change nothing");
  UseKernel(vu32::scan::Level::kScalar);
  Require(Run(in, cuts, &portable_record, &portable) == expected,
          "the scanner changes nothing");
  CheckRecords(in, whole_record);

  WholeInputGuard guard;
  size_t at = 0;
  for (size_t c : cuts) {
    guard.Feed(reinterpret_cast<const uint8_t*>(in.data()) + at, c - at);
    at = c;
  }
  guard.Feed(reinterpret_cast<const uint8_t*>(in.data()) + at, in.size() - at);
  Require(
      guard.Finish() == JudgeStart(reinterpret_cast<const uint8_t*>(in.data()),
                                   in.size(), true),
      "the whole-input guard judges as the start's");
  return 0;
}
