#include "check/checker.h"

#include <algorithm>
#include <cstring>

#include "check/assigned.h"
#include "support/sjis.h"

namespace vu32::check {
namespace {

// A lone 0x1A waits for the next byte: if none comes it is the end-of-file
// mark of a DOS text file, a note rather than a fault.
bool MaybeFinalMark(const FaultRecord& r) { return r.fault == Fault::kEofMark; }

}  // namespace

const char* FaultToken(Fault fault) {
  switch (fault) {
    case Fault::kBom:
      return "bom";
    case Fault::kBadTrail:
      return "bad-trail";
    case Fault::kCutChar:
      return "cut-char";
    case Fault::kUnassigned:
      return "unassigned";
    case Fault::kInvalidByte:
      return "invalid-byte";
    case Fault::kNul:
      return "nul";
    case Fault::kControl:
      return "control";
    case Fault::kEofMark:
      return "eof-mark";
  }
  return "?";
}

const char* NoteToken(Note note) {
  switch (note) {
    case Note::kMixedLineEnds:
      return "mixed-line-ends";
    case Note::kCrCrLf:
      return "cr-cr-lf";
    case Note::kNoFinalLineEnd:
      return "no-final-line-end";
    case Note::kFinalEofMark:
      return "final-eof-mark";
  }
  return "?";
}

const char* LineEndName(LineEndKind kind) {
  switch (kind) {
    case kCrLf:
      return "CR LF";
    case kLf:
      return "LF";
    case kCr:
      return "CR";
    default:
      return "CR CR LF";
  }
}

std::string Verdict::Text() const {
  switch (encoding) {
    case Encoding::kEmpty:
      return "empty";
    case Encoding::kAscii:
      return "ASCII";
    case Encoding::kUtf8:
      return "UTF-8";
    case Encoding::kUtf16:
      return "UTF-16";
    case Encoding::kBinary:
      return "binary";
    case Encoding::kCp932:
      break;
  }
  if (faults == 0) return "CP932";
  return "CP932 with " + std::to_string(faults) +
         (faults == 1 ? " fault" : " faults");
}

bool Verdict::Clean() const {
  return faults == 0 &&
         (encoding == Encoding::kEmpty || encoding == Encoding::kAscii ||
          encoding == Encoding::kCp932);
}

bool Summary::ChangedByDos() const {
  return line_ends[kLf] + line_ends[kCr] + line_ends[kCrCrLf] > 0;
}
bool Summary::ChangedByUnix() const {
  return line_ends[kCrLf] + line_ends[kCr] + line_ends[kCrCrLf] > 0;
}
bool Summary::ChangedByMac() const {
  return line_ends[kCrLf] + line_ends[kLf] + line_ends[kCrCrLf] > 0;
}

Checker::Checker(Listener* listener, bool info)
    : listener_(listener),
      info_(info),
      kernel_(ActiveKernel()),
      window_(new uint8_t[kWindow]) {}

Checker::~Checker() = default;

void Checker::Feed(const uint8_t* data, size_t size) {
  if (size == 0) return;
  summary_.bytes += size;
  if (size >= 2) {
    last_[0] = data[size - 2];
  } else {
    last_[0] = last_[1];
  }
  last_[1] = data[size - 1];
  utf8_.Feed(data, size);
  if (!started_) {
    const size_t take = std::min(size, kWindow - window_size_);
    std::memcpy(window_.get() + window_size_, data, take);
    window_size_ += take;
    if (window_size_ < kWindow) return;
    Start(window_.get(), window_size_);
    data += take;
    size -= take;
  }
  Scan(data, size);
}

// The verdict's rules for UTF-16 and binary input, and the byte-order mark,
// on the window; then its bytes are scanned like any others.
void Checker::Start(const uint8_t* data, size_t size) {
  started_ = true;
  summary_.listed = !LooksUtf16(data, size) && !LooksBinary(data, size);
  if (Utf8Bom(data, size)) {
    // One fault, one column; the text after it is read from its start, and
    // the bytes after the mark come with it.
    const View view{data, 3, nullptr, 0};
    region_offset_ = 0;
    AddFault(Fault::kBom, 0, 3, {1, 1}, view);
    std::memcpy(history_ + 5, data, 3);
    state_.offset = 3;
    state_.column = 1;
    state_.previous = data[2];
    data += 3;
    size -= 3;
  }
  Scan(data, size);
}

void Checker::Scan(const uint8_t* data, size_t size) {
  FillPending(data, size);
  if (staged_ > 0) {
    const size_t take = std::min<size_t>(size, kBlock - staged_);
    std::memcpy(stage_ + staged_, data, take);
    staged_ += static_cast<unsigned>(take);
    data += take;
    size -= take;
    if (staged_ < kBlock) return;
    ScanRegion(stage_, kBlock, data, size);
    staged_ = 0;
  }
  const size_t whole = size & ~(kBlock - 1);
  if (whole > 0) ScanRegion(data, whole, data + whole, size - whole);
  std::memcpy(stage_, data + whole, size - whole);
  staged_ = static_cast<unsigned>(size - whole);
}

void Checker::ScanRegion(const uint8_t* region, size_t size,
                         const uint8_t* follow, size_t follow_size) {
  region_offset_ = state_.offset;
  const View view{region, size, follow, follow_size};
  size_t done = 0;
  while (done < size) {
    BlockMasks masks;
    done += (info_ ? kernel_.scan_info : kernel_.scan)(
        region + done, size - done, &state_, &masks);
    if (masks.suspicious) Resolve(masks, view);
  }
  std::memcpy(history_, region + size - 8, 8);
}

// Decides each suspicious byte of a block exactly.
void Checker::Resolve(const BlockMasks& masks, const View& view) {
  const auto at = [&](int64_t i) -> uint8_t {
    return i < 0 ? history_[8 + i] : view.region[i];
  };
  const int64_t base = static_cast<int64_t>(masks.offset - region_offset_);
  for (uint64_t bits = masks.suspicious; bits; bits &= bits - 1) {
    const int p = __builtin_ctzll(bits);
    const uint64_t offset = masks.offset + static_cast<uint64_t>(p);
    const uint8_t b = at(base + p);
    if ((masks.second >> p) & 1) {
      const uint8_t lead = at(base + p - 1);
      if (SjisTrailByte(b)) {
        // A pair that failed the quick test only.
        if (!Assigned(lead, b)) {
          AddFault(Fault::kUnassigned, offset - 1, 2,
                   LocateInBlock(masks, p - 1), view);
          TakeBack(lead);
        }
        continue;
      }
      AddFault(Fault::kBadTrail, offset - 1, 2, LocateInBlock(masks, p - 1),
               view);
    }
    // `b` as a character of its own.
    Fault fault;
    if (b == 0) {
      fault = Fault::kNul;
    } else if (b == 0x1A) {
      fault = Fault::kEofMark;
    } else if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F) {
      fault = Fault::kControl;
    } else if (b == 0x80 || b == 0xA0 || b >= 0xFD) {
      fault = Fault::kInvalidByte;
    } else {
      continue;  // the byte after a bad lead, a character after all
    }
    AddFault(fault, offset, 1, LocateInBlock(masks, p), view);
  }
  Emit();
}

// An unassigned code is no character: out of the --info counts again.
void Checker::TakeBack(uint8_t lead) {
  if (!info_) return;
  --state_.pairs;
  if (lead == 0x87) --state_.nec;
  if (lead == 0xED || lead == 0xEE) --state_.nec_ibm;
  if (lead >= 0xF0 && lead <= 0xF9) --state_.user;
  if (lead >= 0xFA) --state_.ibm;
}

void Checker::AddFault(Fault fault, uint64_t offset, unsigned size, Location at,
                       const View& view) {
  // Region index i of the input byte at `offset + k`; bytes before the
  // region come from the history (it holds at least the four a fault's
  // context reaches).
  const int64_t start = static_cast<int64_t>(offset - region_offset_);
  const auto byte = [&](int64_t i) -> uint8_t {
    return i < 0 ? history_[8 + i] : view.region[i];
  };
  Pending p;
  FaultRecord& r = p.record;
  r.fault = fault;
  r.offset = offset;
  r.at = at;
  for (unsigned k = 0; k < size; ++k) r.bytes.byte[k] = byte(start + k);
  r.bytes.size = static_cast<uint8_t>(size);
  const unsigned before = static_cast<unsigned>(std::min<uint64_t>(offset, 3));
  for (unsigned k = 0; k < before; ++k) {
    r.before.byte[k] = byte(start - before + k);
  }
  r.before.size = static_cast<uint8_t>(before);
  for (int64_t i = start + size; r.after.size < 3; ++i) {
    const size_t u = static_cast<size_t>(i);
    if (u < view.size) {
      r.after.byte[r.after.size++] = view.region[u];
    } else if (u - view.size < view.follow_size) {
      r.after.byte[r.after.size++] = view.follow[u - view.size];
    } else {
      break;
    }
  }
  p.done = r.after.size == 3;
  pending_.push_back(p);
}

// The bytes that follow everything scanned so far, for the faults still
// waiting for the bytes after them.
void Checker::FillPending(const uint8_t* data, size_t size) {
  if (pending_.empty() || size == 0) return;
  // A fault waits only once it has taken every byte there was: each needs
  // the bytes from the start of `data` on.
  for (Pending& p : pending_) {
    if (p.done) continue;
    ShortBytes& after = p.record.after;
    for (size_t k = 0; after.size < 3 && k < size; ++k) {
      after.byte[after.size++] = data[k];
    }
    p.done = after.size == 3;
  }
  Emit();
}

void Checker::Emit() {
  while (!pending_.empty() && (pending_.front().done || finished_)) {
    const FaultRecord& r = pending_.front().record;
    if (MaybeFinalMark(r) && r.after.size == 0) {
      summary_.final_eof_mark = true;  // noted, not a fault
    } else {
      ++summary_.faults[static_cast<int>(r.fault)];
      ++summary_.total_faults;
      if (listener_ && summary_.listed) listener_->OnFault(r);
    }
    pending_.pop_front();
  }
}

void Checker::Finish() {
  if (finished_) return;
  if (!started_) Start(window_.get(), window_size_);
  // The last bytes, in a block of their own; what lies past them is zero
  // and ignored.
  std::memset(stage_ + staged_, 0, kBlock - staged_);
  region_offset_ = state_.offset;
  const View view{stage_, staged_, nullptr, 0};
  BlockMasks masks;
  bool cut = false;
  kernel_.finish(stage_, staged_, info_, &state_, &masks, &cut);
  if (masks.suspicious) Resolve(masks, view);
  if (cut) {
    // The last byte; in the history when the input ended with a whole
    // block.
    AddFault(Fault::kCutChar, state_.offset - 1, 1,
             {state_.lines + 1, state_.column}, view);
  }
  finished_ = true;
  Emit();
  Conclude();
}

// The line-end counts, the notes and the verdict.
void Checker::Conclude() {
  Summary& s = summary_;
  const ScanState& st = state_;
  s.line_ends[kCrLf] = st.lf_after_cr - st.lf_after_cr_cr;
  s.line_ends[kLf] = st.lines - st.lf_after_cr;
  s.line_ends[kCrCrLf] = st.lf_after_cr_cr;
  s.line_ends[kCr] = st.crs - st.lf_after_cr - st.lf_after_cr_cr;
  uint64_t ends = 0;
  for (uint64_t n : s.line_ends) ends += n;

  // The text after the last line end, a final 0x1A left out.
  const uint64_t mark = s.final_eof_mark ? 1 : 0;
  const uint64_t bom = s.faults[static_cast<int>(Fault::kBom)] ? 3 : 0;
  const uint8_t last_text = mark ? last_[0] : last_[1];
  const bool open_line =
      s.bytes > bom + mark && last_text != '\n' && last_text != '\r';
  s.lines = ends + (open_line ? 1 : 0);
  s.final_line_end = s.lines > 0 && !open_line;
  if (info_) {
    s.longest_line = std::max(st.longest, st.run - mark);
    s.tabs = st.tabs;
    s.controls = st.controls;
    s.eof_marks = st.eof_marks;
    s.kana = st.kana;
    s.two_byte = st.pairs;
    s.nec = st.nec;
    s.nec_ibm = st.nec_ibm;
    s.user = st.user;
    s.ibm = st.ibm;
  }

  auto note = [&](const NoteRecord& n) {
    ++s.notes[static_cast<int>(n.note)];
    ++s.total_notes;
    if (listener_ && s.listed) listener_->OnNote(n);
  };
  // Mixed conventions: each kind but the most common one, where it first
  // appears. CR CR LF is no convention but a damaged CR LF: noted apart.
  LineEndKind most = kCrLf;
  for (LineEndKind k : {kLf, kCr}) {
    if (s.line_ends[k] > s.line_ends[most]) most = k;
  }
  for (LineEndKind k : {kCrLf, kLf, kCr}) {
    if (k == most || s.line_ends[k] == 0 || s.line_ends[most] == 0) continue;
    note({Note::kMixedLineEnds, st.first[k], k, s.line_ends[k], most,
          s.line_ends[most]});
  }
  if (s.line_ends[kCrCrLf] > 0) {
    note({Note::kCrCrLf, st.first[kCrCrLf], kCrCrLf, s.line_ends[kCrCrLf], most,
          s.line_ends[most]});
  }
  if (open_line) {
    note({Note::kNoFinalLineEnd, {st.lines + 1, st.column + 1 - mark}});
  }
  if (mark) note({Note::kFinalEofMark, {st.lines + 1, st.column}});

  Verdict& v = s.verdict;
  v.faults = s.total_faults;
  if (s.bytes == 0) {
    v.encoding = Encoding::kEmpty;
  } else if (LooksUtf16(window_.get(), window_size_)) {
    v.encoding = Encoding::kUtf16;
  } else if (!s.listed) {
    v.encoding = Encoding::kBinary;
  } else if (utf8_.valid() && utf8_.multibyte()) {
    // A sequence cut at the end (a piece of a split) does not count
    // against it.
    v.encoding = Encoding::kUtf8;
  } else if (utf8_.valid() && !utf8_.open() && s.total_faults == 0) {
    v.encoding = Encoding::kAscii;  // valid UTF-8 without multi-byte
  } else {
    v.encoding = Encoding::kCp932;
  }
}

}  // namespace vu32::check
