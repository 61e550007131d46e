// The checker's block scanner: 64 bytes at a time, one implementation per
// instruction set behind one table chosen at run time.
//
// A scan turns each block into bit masks (bit i for byte i), pairs lead and
// second bytes with bit arithmetic, and keeps the counts and positions the
// report needs (line feeds, the column, line ends, the --info counts). A
// block is clean when no byte of it may be a fault: no control byte, no
// byte that is no character, every second byte valid and every code passing
// the quick assigned test (assigned.h). On a block that is not clean the
// scan stops and hands the block's masks to the caller, which decides each
// suspicious byte exactly. Nothing here depends on where a block lies in the
// caller's buffers: the state carries all that crosses a block boundary.
#ifndef VU32_CHECK_KERNEL_H_
#define VU32_CHECK_KERNEL_H_

#include <cstddef>
#include <cstdint>

#include "filters/scan.h"

namespace vu32::check {

inline constexpr size_t kBlock = 64;

// The line-end conventions, as counted. CR CR LF (a CR LF that went through
// a conversion to CR LF once more) is one line end of its own kind.
enum LineEndKind { kCrLf, kLf, kCr, kCrCrLf, kLineEndKinds };

// Where a byte is: line (by LF, from 1) and column (characters, from 1).
struct Location {
  uint64_t line = 0;
  uint64_t column = 0;
};

// What a scan carries from block to block. Zero-initialised it is the start
// of an input.
struct ScanState {
  uint64_t offset = 0;  // input offset of the next block
  uint64_t lines = 0;   // LFs before it
  // Characters since the last LF (the column of the last one), as uint64_t
  // arithmetic modulo 2^64, so a start value below 1 may be set.
  uint64_t column = 0;
  bool second = false;   // its byte 0 is the second byte of a character
  uint8_t previous = 0;  // the byte before it (0 at the start)
  uint8_t tail = 0;      // bit 0: the byte before is CR, 1: the one before
                         // that, 2: the byte before is LF
  // LFs after CR, LFs after CR CR, and all CRs: the line-end kinds follow.
  uint64_t lf_after_cr = 0;
  uint64_t lf_after_cr_cr = 0;
  uint64_t crs = 0;
  uint8_t seen = 0;               // bit k: a line end of kind k was met
  Location first[kLineEndKinds];  // where each kind first begins
  // --info: bytes since the last CR or LF, and the most between two.
  uint64_t run = 0;
  uint64_t longest = 0;
  // The --info counts (left alone by the plain check). Pairs and the rows
  // count lead bytes with a valid second byte, unassigned ones included,
  // which the caller takes back out as it finds them.
  uint64_t tabs = 0;
  uint64_t controls = 0;   // bytes 0x00-0x1F but TAB, LF, CR and 0x1A; DEL
  uint64_t eof_marks = 0;  // 0x1A
  uint64_t kana = 0;       // half-width katakana 0xA1-0xDF
  uint64_t pairs = 0;
  uint64_t nec = 0;      // row 0x87, the NEC special characters
  uint64_t nec_ibm = 0;  // rows 0xED-0xEE, NEC's copy of the IBM ones
  uint64_t user = 0;     // rows 0xF0-0xF9, the user-defined area
  uint64_t ibm = 0;      // rows 0xFA-0xFC, the IBM extensions
};

// A block that is not clean, as the scan saw it.
struct BlockMasks {
  uint64_t suspicious = 0;  // bytes the caller decides
  uint64_t second = 0;      // bytes after a lead byte that opens a character
  uint64_t starts = 0;      // first bytes of characters
  uint64_t lfs = 0;
  uint64_t offset = 0;  // the block's input offset
  uint64_t lines = 0;   // LFs before the block
  uint64_t column = 0;  // characters since the last LF before the block
};

// Where byte `p` of the block lies, for p >= -2; bytes p..-1 (those of the
// block before) must be characters of one line, as the scan guarantees for
// the lead bytes and CRs it asks about.
Location LocateInBlock(const BlockMasks& m, int p);

struct Kernel {
  scan::Level level;
  // Scans the blocks of s[0, n) (n a multiple of 64) until one is not clean;
  // returns the bytes scanned, that block included, and fills *masks for it
  // (masks->suspicious is 0 when all were clean). scan_info also keeps the
  // --info counts.
  size_t (*scan)(const uint8_t* s, size_t n, ScanState* state,
                 BlockMasks* masks);
  size_t (*scan_info)(const uint8_t* s, size_t n, ScanState* state,
                      BlockMasks* masks);
  // The last bytes of an input: s[0, valid) of 64 readable bytes (valid <
  // 64; 0 when the input ended with a whole block). Sets *cut when the last
  // byte opens a character that never ends.
  void (*finish)(const uint8_t* s, unsigned valid, bool info, ScanState* state,
                 BlockMasks* masks, bool* cut);
};

// The best scanner this processor and build support, or the one UseKernel
// chose.
const Kernel& ActiveKernel();
// Chooses the scanner of `level` (tests, benchmarks); false, changing
// nothing, when it is not built in or the processor lacks it. There is no
// SSE2 scanner: a processor with SSE2 only gets the portable one.
bool UseKernel(scan::Level level);

}  // namespace vu32::check

#endif  // VU32_CHECK_KERNEL_H_
