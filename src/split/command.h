// Reading the split switch and preparing the piece names: the output
// directory's prefix and the input's base name.
#ifndef VU32_SPLIT_COMMAND_H_
#define VU32_SPLIT_COMMAND_H_

#include <cstdint>
#include <string>

namespace vu32 {

// The switch -Sn1[.n2][L].
struct SplitSwitch {
  // Size mode: kilobytes (1000 bytes) per piece; line mode: lines, or
  // matching lines, per piece. Never 0 once parsed.
  uint64_t n1 = 0;
  // The switch's last character is L or l.
  bool line_mode = false;
  // n2 clamped to 2..5 (2 when absent), and the highest piece number that
  // many digits can show.
  int piece_digits = 2;
  uint32_t max_piece_number = 99;
};

// Parses the switch argument (its first two characters, the introducer
// and S, are skipped). n1 is the leading run of digits, held at 10^15 so
// that n1 x 1000 cannot overflow; n2 the digits right after the first ".".
// False when n1 is 0.
bool ParseSplitSwitch(const char* arg, SplitSwitch* parsed);

// The name part of `path` (after its last path separator) without its last
// extension: "sub/A.B.TXT" -> "A.B", "README" -> "README", ".x" -> "".
// Shift-JIS aware, so a separator byte inside a two-byte character is not
// taken for one.
std::string MakeBaseName(const std::string& path);

enum class ProbeResult {
  kOk,
  kNoDirectory,  // `outdir` is no directory
  kNotWritable,  // a directory that takes no new file; errno says why
  kRefused,      // a link, FIFO or device stands at the probe's name
};

// Proves that `outdir` exists and takes a new file, by creating and
// removing the probe file "_KZ_$$$$.TMP" in it; a regular probe file that
// is already there is left alone, and nothing else at that name is opened.
// On success `*prefix` is `outdir` ending in one path separator; `*probe`
// is the probe's path in every case but kNoDirectory for an empty name.
ProbeResult ProbeOutputDir(const std::string& outdir, std::string* prefix,
                           std::string* probe);

}  // namespace vu32

#endif  // VU32_SPLIT_COMMAND_H_
