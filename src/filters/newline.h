// Newline conversion (-Cd, -Cu, -Cm) and join (-J).
#ifndef VU32_FILTERS_NEWLINE_H_
#define VU32_FILTERS_NEWLINE_H_

#include "filters/filter.h"

namespace vu32 {

// Line-end conventions; 0 is the plain copy.
enum NewlineKind : int {
  kNewlineNone = 0,
  kNewlineCrLf = 1,
  kNewlineLf = 2,
  kNewlineCr = 4,
};

// Writes the line end of `kind`; nothing for any other value.
void EmitNewline(int kind, ByteWriter& out);

// Rewrites every line end (CR LF, lone LF, lone CR) as `kind` (1, 2 or 4).
class Crconv : public ByteFilter {
 public:
  explicit Crconv(int kind) : kind_(kind) {}
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  int kind_;
  bool previous_was_cr_ = false;
};

// Deletes every CR, and the first LF after one or more CRs.
class Join : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  bool cr_pending_ = false;
};

}  // namespace vu32

#endif  // VU32_FILTERS_NEWLINE_H_
