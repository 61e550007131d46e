// Newline conversion (-Cd, -Cu, -Cm) and join (-J).
#ifndef VU32_FILTERS_NEWLINE_H_
#define VU32_FILTERS_NEWLINE_H_

#include "filters/filter.h"
#include "filters/scan.h"

namespace vu32 {

// The line-end convention -Cd, -Cu and -Cm ask for: one type from the
// switch to the kernel.
using NewlineKind = scan::LineEnd;

// Rewrites every line end (CR LF, lone LF, lone CR) as `kind`.
class Crconv : public ByteFilter {
 public:
  explicit Crconv(NewlineKind kind) : newline_(kind) {}
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  NewlineKind newline_;
  bool previous_was_cr_ = false;
};

// Deletes every CR, and the first LF after one or more CRs.
class Join : public ByteFilter {
 public:
  void Feed(const uint8_t* data, size_t size, ByteWriter& out) override;

 private:
  uint8_t* Convert(const uint8_t* s, size_t n, uint8_t* d);

  bool cr_pending_ = false;
};

}  // namespace vu32

#endif  // VU32_FILTERS_NEWLINE_H_
