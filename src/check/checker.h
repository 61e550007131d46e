// The checker: reads an input in blocks and finds every byte that is not
// CP932 text, with its line, column and offset, the notes on its line ends,
// the --info counts and a verdict on what the input is.
//
// A byte sequence is read as CP932 from its start: a lead byte (0x81-0x9F,
// 0xE0-0xFC) and the byte after it form one character when that byte can
// be a second byte (0x40-0x7E, 0x80-0xFC); when it cannot, the lead byte is
// a fault and the next byte is read again as the start of a character.
// Results never depend on how the input was cut into blocks; memory stays
// at the first 64 KiB, which are held until the verdict's rules for UTF-16
// and binary input have seen them.
#ifndef VU32_CHECK_CHECKER_H_
#define VU32_CHECK_CHECKER_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "check/encoding.h"
#include "check/kernel.h"

namespace vu32::check {

// The faults, in the order the summaries list them.
enum class Fault : uint8_t {
  kBom,          // a UTF-8 byte-order mark at the start
  kBadTrail,     // a lead byte followed by a byte that cannot follow it
  kCutChar,      // a lead byte at the end of the input
  kUnassigned,   // a two-byte code CP932 does not assign
  kInvalidByte,  // 0x80, 0xA0, 0xFD-0xFF on their own: no character
  kNul,          // 0x00
  kControl,      // 0x01-0x1F but TAB, LF, CR and 0x1A; DEL (0x7F)
  kEofMark,      // 0x1A anywhere but as the very last byte
};
inline constexpr int kFaultKinds = 8;

// Findings that never make an input faulty.
enum class Note : uint8_t {
  kMixedLineEnds,   // more than one of CR LF, LF, CR: one per minority kind
  kCrCrLf,          // CR CR LF line ends
  kNoFinalLineEnd,  // the last line has no line end
  kFinalEofMark,    // 0x1A as the very last byte
};
inline constexpr int kNoteKinds = 4;

// The fixed ASCII tokens of the report ("bad-trail", "mixed-line-ends").
const char* FaultToken(Fault fault);
const char* NoteToken(Note note);
// "CR LF", "LF", "CR", "CR CR LF".
const char* LineEndName(LineEndKind kind);

// Up to three bytes.
struct ShortBytes {
  uint8_t byte[3] = {};
  uint8_t size = 0;
};

struct FaultRecord {
  Fault fault = Fault::kBom;
  uint64_t offset = 0;  // of its first byte, from 0
  Location at;          // of its first byte
  ShortBytes bytes;     // the fault's own bytes
  ShortBytes before;    // up to three bytes before them
  ShortBytes after;     // up to three bytes after them
};

struct NoteRecord {
  Note note = Note::kNoFinalLineEnd;
  Location at;
  // kMixedLineEnds and kCrCrLf: the kind noted, how many of it, and the
  // kind most line ends have, with its count.
  LineEndKind kind = kCrLf;
  uint64_t count = 0;
  LineEndKind most = kCrLf;
  uint64_t most_count = 0;
};

// Hears the findings of one input: faults in the order of their offsets,
// then the notes.
class Listener {
 public:
  virtual ~Listener() = default;
  virtual void OnFault(const FaultRecord& fault) = 0;
  virtual void OnNote(const NoteRecord& note) = 0;
};

enum class Encoding { kEmpty, kAscii, kCp932, kUtf8, kUtf16, kBinary };

struct Verdict {
  Encoding encoding = Encoding::kEmpty;
  uint64_t faults = 0;
  // "CP932", "CP932 with 3 faults", "UTF-8", "UTF-16", "ASCII", "empty",
  // "binary".
  std::string Text() const;
  // CP932 text (or ASCII, or nothing) without a fault: exit status 0.
  bool Clean() const;
};

struct Summary {
  uint64_t bytes = 0;
  uint64_t faults[kFaultKinds] = {};
  uint64_t notes[kNoteKinds] = {};
  uint64_t total_faults = 0;
  uint64_t total_notes = 0;
  // Faults and notes were handed to the listener; not so for UTF-16 and
  // binary input, whose faults are only counted.
  bool listed = true;
  uint64_t line_ends[kLineEndKinds] = {};
  bool final_line_end = false;  // there are lines and the last one ends
  bool final_eof_mark = false;  // the last byte is 0x1A
  // --info (Checker made with `info`): lines by any line end, the longest
  // in bytes without its line end, and the counts of the kernel's state.
  uint64_t lines = 0;
  uint64_t longest_line = 0;
  uint64_t tabs = 0;
  uint64_t controls = 0;  // NUL, other control bytes but 0x1A, DEL
  uint64_t eof_marks = 0;
  uint64_t kana = 0;
  uint64_t two_byte = 0;  // assigned two-byte characters
  uint64_t nec = 0;       // of them: NEC special characters (row 0x87)
  uint64_t nec_ibm = 0;   // NEC-selected IBM extensions (0xED-0xEE)
  uint64_t ibm = 0;       // IBM extensions (0xFA-0xFC)
  uint64_t user = 0;      // the user-defined area F040-F9FC
  Verdict verdict;

  // Whether the newline conversions would change the input: -Cd leaves
  // only CR LF alone, -Cu only an input without CR, -Cm one without LF.
  bool ChangedByDos() const;
  bool ChangedByUnix() const;
  bool ChangedByMac() const;
};

class Checker {
 public:
  // `listener` may be null (counting only). `info` also keeps the --info
  // counts, at some cost in speed.
  Checker(Listener* listener, bool info);
  ~Checker();
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  void Feed(const uint8_t* data, size_t size);
  // Ends the input; summary() is complete after it.
  void Finish();
  const Summary& summary() const { return summary_; }

 private:
  struct Pending {
    FaultRecord record;
    bool done = false;  // has all the bytes after it that there are
  };
  // The bytes a block's faults may need: those of the region being scanned,
  // up to 8 before it and what follows it in the caller's buffer.
  struct View {
    const uint8_t* region;
    size_t size;
    const uint8_t* follow;
    size_t follow_size;
  };

  void Start(const uint8_t* data, size_t size);
  void Scan(const uint8_t* data, size_t size);
  void ScanRegion(const uint8_t* region, size_t size, const uint8_t* follow,
                  size_t follow_size);
  void Resolve(const BlockMasks& masks, const View& view);
  void AddFault(Fault fault, uint64_t offset, unsigned size, Location at,
                const View& view);
  void TakeBack(uint8_t lead);
  void FillPending(const uint8_t* data, size_t size);
  void Emit();
  void Conclude();

  Listener* const listener_;
  const bool info_;
  const Kernel& kernel_;
  Summary summary_;
  ScanState state_;
  Utf8Validator utf8_;
  bool started_ = false;  // the window was judged and scanning began
  bool finished_ = false;
  std::unique_ptr<uint8_t[]> window_;  // the first kWindow bytes
  size_t window_size_ = 0;
  uint8_t stage_[kBlock] = {};  // a block not yet whole
  unsigned staged_ = 0;
  uint8_t history_[8] = {};      // the bytes before the next region
  uint64_t region_offset_ = 0;   // input offset of the region being scanned
  uint8_t last_[2] = {};         // the last two bytes of the input
  std::deque<Pending> pending_;  // faults waiting for the bytes after them
};

}  // namespace vu32::check

#endif  // VU32_CHECK_CHECKER_H_
