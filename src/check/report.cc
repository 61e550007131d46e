#include "check/report.h"

#include <cstdio>
#include <memory>
#include <new>

#include "check/checker.h"
#include "platform/platform.h"
#include "support/messages.h"

namespace vu32::check {
namespace {

// Read size: the filters' block (filters/filter.h), page-aligned.
constexpr size_t kReadSize = size_t{1} << 20;
constexpr std::align_val_t kPage{4096};

struct PageFree {
  void operator()(uint8_t* p) const { ::operator delete[](p, kPage); }
};
using PageBuffer = std::unique_ptr<uint8_t[], PageFree>;

PageBuffer NewReadBuffer() {
  return PageBuffer(static_cast<uint8_t*>(::operator new[](kReadSize, kPage)));
}

std::string Number(uint64_t n) { return std::to_string(n); }

void AppendHex(std::string* out, const ShortBytes& bytes) {
  char buf[4];
  for (unsigned k = 0; k < bytes.size; ++k) {
    std::snprintf(buf, sizeof buf, "%02X", bytes.byte[k]);
    if (k > 0) out->push_back(' ');
    out->append(buf, 2);
  }
}

std::string Hex(const ShortBytes& bytes) {
  std::string out;
  AppendHex(&out, bytes);
  return out;
}

// "41 42 43 [81 20] 44 45 46".
std::string Context(const FaultRecord& r) {
  std::string out = Hex(r.before);
  if (!out.empty()) out.push_back(' ');
  out += "[" + Hex(r.bytes) + "]";
  if (r.after.size > 0) out += " " + Hex(r.after);
  return out;
}

std::string NoteText(const NoteRecord& n) {
  switch (n.note) {
    case Note::kMixedLineEnds:
      return std::string("first ") + LineEndName(n.kind) + " line end (" +
             Number(n.count) + " " + LineEndName(n.kind) + ", " +
             Number(n.most_count) + " " + LineEndName(n.most) + ")";
    case Note::kCrCrLf:
      return "first CR CR LF line end (" + Number(n.count) + " in all)";
    case Note::kNoFinalLineEnd:
      return "no line end after the last line";
    case Note::kFinalEofMark:
      return "0x1A as the last byte";
  }
  return "";
}

// Where one input's findings go.
class FindingWriter : public Listener {
 public:
  FindingWriter(ByteWriter& out, const std::string& name, bool json,
                uint64_t max_errors)
      : out_(out), name_(name), json_(json), max_errors_(max_errors) {}

  void OnFault(const FaultRecord& r) override {
    if (listed_ == max_errors_) return;
    ++listed_;
    std::string line;
    if (json_) {
      line = Separator() + "{\"line\": " + Number(r.at.line) +
             ", \"column\": " + Number(r.at.column) +
             ", \"offset\": " + Number(r.offset) + ", \"class\": \"" +
             FaultToken(r.fault) + "\", \"bytes\": \"" + Hex(r.bytes) +
             "\", \"before\": \"" + Hex(r.before) + "\", \"after\": \"" +
             Hex(r.after) + "\"}";
    } else {
      line = Prefix(r.at) + FaultToken(r.fault) + ": byte " + Number(r.offset) +
             ": " + Context(r) + "\n";
    }
    out_.Write(line.data(), line.size());
  }

  void OnNote(const NoteRecord& n) override {
    std::string line;
    if (json_) {
      line = Separator() + "{\"line\": " + Number(n.at.line) +
             ", \"column\": " + Number(n.at.column) + ", \"class\": \"" +
             NoteToken(n.note) + "\", \"note\": \"" + NoteText(n) + "\"";
      if (n.note == Note::kMixedLineEnds || n.note == Note::kCrCrLf) {
        line += std::string(", \"line_end\": \"") + LineEndName(n.kind) +
                "\", \"count\": " + Number(n.count);
      }
      line += "}";
    } else {
      line = Prefix(n.at) + NoteToken(n.note) + ": " + NoteText(n) + "\n";
    }
    out_.Write(line.data(), line.size());
  }

  uint64_t listed() const { return listed_; }

 private:
  std::string Prefix(const Location& at) const {
    return name_ + ":" + Number(at.line) + ":" + Number(at.column) + ": ";
  }
  std::string Separator() { return records_++ ? ",\n" : "\n"; }

  ByteWriter& out_;
  const std::string& name_;
  const bool json_;
  const uint64_t max_errors_;
  uint64_t listed_ = 0;
  uint64_t records_ = 0;
};

// Reads `input` to its end through `checker`. False after reporting why
// it could not.
bool ReadThrough(const Input& input, Checker& checker, uint8_t* buffer,
                 std::string* error) {
  const int fd = input.fd >= 0 ? input.fd : platform::OpenForRead(input.name);
  if (fd < 0) {
    *error = "cannot open: " + platform::LastErrorText();
    Report(kCannotOpen, input.name + ": " + platform::LastErrorText());
    return false;
  }
  bool ok = true;
  for (;;) {
    const long n = platform::ReadSome(fd, buffer, kReadSize);
    if (n == 0) break;
    if (n < 0) {
      *error = "cannot read: " + platform::LastErrorText();
      Report(kReadFailed, input.name + ": " + platform::LastErrorText());
      ok = false;
      break;
    }
    checker.Feed(buffer, static_cast<size_t>(n));
  }
  if (input.fd < 0) platform::CloseFd(fd);
  if (ok) checker.Finish();
  return ok;
}

// "file": the name, and "file_hex" with its bytes when it is not UTF-8.
std::string JsonName(const std::string& name) {
  std::string out = "\"file\": ";
  if (!AppendJsonString(&out, name)) {
    out += ", \"file_hex\": \"";
    char buf[4];
    for (size_t k = 0; k < name.size(); ++k) {
      std::snprintf(buf, sizeof buf, "%02X",
                    static_cast<unsigned char>(name[k]));
      if (k > 0) out.push_back(' ');
      out.append(buf, 2);
    }
    out += "\"";
  }
  return out;
}

// "2 bad-trail, 1 unassigned".
template <typename Kind, int kKinds>
std::string Counts(const uint64_t (&counts)[kKinds],
                   const char* (*token)(Kind)) {
  std::string out;
  for (int k = 0; k < kKinds; ++k) {
    if (counts[k] == 0) continue;
    if (!out.empty()) out += ", ";
    out += Number(counts[k]) + " " + token(static_cast<Kind>(k));
  }
  return out;
}

std::string Plural(uint64_t n, const char* word) {
  return Number(n) + " " + word + (n == 1 ? "" : "s");
}

// "3 faults (2 bad-trail, 1 unassigned), first 2 listed; 1 note (...)".
std::string SummaryText(const Summary& s, uint64_t listed) {
  std::string out = Plural(s.total_faults, "fault");
  if (s.total_faults > 0) {
    out += " (" + Counts<Fault, kFaultKinds>(s.faults, FaultToken) + ")";
    if (!s.listed) {
      out += ", counted, not listed";
    } else if (listed < s.total_faults) {
      out += ", " + Number(listed) + " listed";
    }
  }
  out += "; " + Plural(s.total_notes, "note");
  if (s.total_notes > 0) {
    out += " (" + Counts<Note, kNoteKinds>(s.notes, NoteToken) + ")";
  }
  return out;
}

std::string JsonCounts(const Summary& s) {
  std::string out = "\"counts\": {";
  for (int k = 0; k < kFaultKinds; ++k) {
    out += std::string(k ? ", \"" : "\"") + FaultToken(static_cast<Fault>(k)) +
           "\": " + Number(s.faults[k]);
  }
  out += "}, \"note_counts\": {";
  for (int k = 0; k < kNoteKinds; ++k) {
    out += std::string(k ? ", \"" : "\"") + NoteToken(static_cast<Note>(k)) +
           "\": " + Number(s.notes[k]);
  }
  return out + "}";
}

std::string JsonBool(bool b) { return b ? "true" : "false"; }

std::string JsonLineEnds(const Summary& s) {
  return "\"line_ends\": {\"crlf\": " + Number(s.line_ends[kCrLf]) +
         ", \"lf\": " + Number(s.line_ends[kLf]) +
         ", \"cr\": " + Number(s.line_ends[kCr]) +
         ", \"crcrlf\": " + Number(s.line_ends[kCrCrLf]) + "}";
}

// Writes what is buffered; false, after reporting, when standard output
// failed.
bool Flushed(ByteWriter& out) {
  if (out.Flush()) return true;
  Report(kWriteFailed, "stdout");
  return false;
}

std::string Pad(std::string s, size_t width, bool right) {
  if (s.size() >= width) return s;
  const std::string fill(width - s.size(), ' ');
  return right ? fill + s : s + fill;
}

std::string ChangedBy(const Summary& s) {
  std::string out;
  if (s.ChangedByDos()) out += "-Cd ";
  if (s.ChangedByUnix()) out += "-Cu ";
  if (s.ChangedByMac()) out += "-Cm ";
  if (out.empty()) return "none";
  out.pop_back();
  return out;
}

}  // namespace

bool AppendJsonString(std::string* out, std::string_view text) {
  bool exact = true;
  char buf[8];
  out->push_back('"');
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80) {
      // As much as is one whole valid UTF-8 character, kept as it is.
      Utf8Validator one;
      size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
      if (i + n <= text.size()) {
        one.Feed(reinterpret_cast<const uint8_t*>(text.data() + i), n);
      }
      if (i + n <= text.size() && one.valid() && !one.open()) {
        out->append(text.substr(i, n));
        i += n;
        continue;
      }
      exact = false;
    }
    ++i;
    if (b == '"' || b == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(b));
    } else if (b < 0x20 || b == 0x7F || b >= 0x80) {
      std::snprintf(buf, sizeof buf, "\\u%04X", b);
      out->append(buf, 6);
    } else {
      out->push_back(static_cast<char>(b));
    }
  }
  out->push_back('"');
  return exact;
}

bool ParseMaxErrors(std::string_view text, uint64_t* n) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  *n = value;
  return true;
}

int RunCheck(const CheckRequest& request, ByteWriter& out) {
  PageBuffer buffer = NewReadBuffer();
  bool trouble = false, faulty = false;
  uint64_t total = 0;
  if (request.json) out.Write("{\"files\": [", 11);
  bool first = true;
  for (const Input& input : request.inputs) {
    std::string head = first ? "\n{" : ",\n{";
    first = false;
    head += JsonName(input.name);
    if (request.json) {
      head += ", \"findings\": [";
      out.Write(head.data(), head.size());
    }
    FindingWriter report(out, input.name, request.json, request.max_errors);
    Checker checker(&report, false);
    std::string error;
    const bool ok = ReadThrough(input, checker, buffer.get(), &error);
    const Summary& s = checker.summary();
    std::string tail;
    if (request.json) {
      tail = "\n], ";
      if (ok) {
        tail += "\"bytes\": " + Number(s.bytes) +
                ", \"faults\": " + Number(s.total_faults) +
                ", \"listed\": " + Number(report.listed()) +
                ", \"notes\": " + Number(s.total_notes) + ", " + JsonCounts(s) +
                ", \"verdict\": \"" + s.verdict.Text() + "\"}";
      } else {
        tail += "\"error\": ";
        AppendJsonString(&tail, error);
        tail += "}";
      }
      out.Write(tail.data(), tail.size());
    }
    // Standard output first: the summary follows the findings on a terminal.
    if (!Flushed(out)) return 2;
    if (!ok) {
      trouble = true;
      continue;
    }
    total += s.total_faults;
    faulty |= !s.verdict.Clean();
    if (!request.json) {
      ReportFormat(kCheckSummary, input.name.c_str(),
                   SummaryText(s, report.listed()).c_str());
      ReportFormat(kCheckVerdict, input.name.c_str(), s.verdict.Text().c_str());
    }
  }
  const int status = trouble ? 2 : faulty ? 1 : 0;
  if (request.json) {
    const std::string end = "\n], \"faults\": " + Number(total) +
                            ", \"status\": " + Number(status) + "}\n";
    out.Write(end.data(), end.size());
    if (!Flushed(out)) return 2;
  }
  return status;
}

int RunInfo(const InfoRequest& request, ByteWriter& out) {
  PageBuffer buffer = NewReadBuffer();
  bool trouble = false;
  bool first = true;
  const std::string head =
      request.json ? "{\"files\": ["
                   : Pad("CR LF", 10, true) + Pad("LF", 10, true) +
                         Pad("CR", 10, true) + Pad("CR CR LF", 10, true) +
                         "  final  " + Pad("changed by", 13, false) +
                         Pad("verdict", 24, false) + "file\n";
  out.Write(head.data(), head.size());
  for (const Input& input : request.inputs) {
    Checker checker(nullptr, true);
    std::string error;
    const bool ok = ReadThrough(input, checker, buffer.get(), &error);
    const Summary& s = checker.summary();
    std::string row;
    if (request.json) {
      row = std::string(first ? "\n{" : ",\n{") + JsonName(input.name) + ", ";
      first = false;
      if (ok) {
        row += "\"bytes\": " + Number(s.bytes) +
               ", \"lines\": " + Number(s.lines) +
               ", \"longest_line\": " + Number(s.longest_line) +
               ", \"tabs\": " + Number(s.tabs) +
               ", \"control_bytes\": " + Number(s.controls) +
               ", \"eof_marks\": " + Number(s.eof_marks) +
               ", \"halfwidth_kana\": " + Number(s.kana) +
               ", \"two_byte\": " + Number(s.two_byte) +
               ", \"nec_special\": " + Number(s.nec) +
               ", \"nec_selected_ibm\": " + Number(s.nec_ibm) +
               ", \"ibm_extension\": " + Number(s.ibm) +
               ", \"user_defined\": " + Number(s.user) + ", " +
               JsonLineEnds(s) +
               ", \"final_line_end\": " + JsonBool(s.final_line_end) +
               ", \"final_eof_mark\": " + JsonBool(s.final_eof_mark) +
               ", \"faults\": " + Number(s.total_faults) + ", \"verdict\": \"" +
               s.verdict.Text() +
               "\", \"changed_by\": {\"-Cd\": " + JsonBool(s.ChangedByDos()) +
               ", \"-Cu\": " + JsonBool(s.ChangedByUnix()) +
               ", \"-Cm\": " + JsonBool(s.ChangedByMac()) + "}}";
      } else {
        row += "\"error\": ";
        AppendJsonString(&row, error);
        row += "}";
      }
    } else if (ok) {
      row = Pad(Number(s.line_ends[kCrLf]), 10, true) +
            Pad(Number(s.line_ends[kLf]), 10, true) +
            Pad(Number(s.line_ends[kCr]), 10, true) +
            Pad(Number(s.line_ends[kCrCrLf]), 10, true) + "  " +
            Pad(s.lines == 0       ? "-"
                : s.final_line_end ? "yes"
                                   : "no",
                7, false) +
            Pad(ChangedBy(s), 13, false) + Pad(s.verdict.Text(), 24, false) +
            input.name + "\n";
    }
    out.Write(row.data(), row.size());
    if (!Flushed(out)) return 2;
    trouble |= !ok;
  }
  if (request.json) out.Write("\n]}\n", 4);
  if (!Flushed(out)) return 2;
  return trouble ? 2 : 0;
}

int RunCheck(const CheckRequest& request) {
  ByteWriter out(1);
  return RunCheck(request, out);
}

int RunInfo(const InfoRequest& request) {
  ByteWriter out(1);
  return RunInfo(request, out);
}

}  // namespace vu32::check
