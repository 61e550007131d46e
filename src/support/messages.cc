#include "support/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/platform.h"

namespace vu32 {
namespace {

// UTF-8 texts on a UTF-8 terminal, Shift-JIS everywhere else.
bool g_utf8 = false;
// Where messages go in tests; null means standard error.
std::string* g_capture = nullptr;

}  // namespace

void SetMessagesUtf8(bool utf8) { g_utf8 = utf8; }

std::string_view MessageBytes(const Message& message) {
  return g_utf8 ? message.text : message.sjis;
}

void WriteMessage(std::string_view bytes) {
  if (g_capture) {
    g_capture->append(bytes);
    return;
  }
  // Messages are rare; an unbuffered write keeps their order with the data.
  platform::WriteAll(2, bytes.data(), bytes.size());
}

void Report(const Message& message, std::string_view argument) {
  std::string line(MessageBytes(message));
  line.append(argument);
  line.push_back('\n');
  WriteMessage(line);
}

void ReportFormat(const Message& format, ...) {
  std::string fmt(MessageBytes(format));
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt.c_str(), copy);
  va_end(copy);
  if (n > 0) {
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt.c_str(), args);
    WriteMessage(std::string_view(buf.data(), static_cast<size_t>(n)));
  }
  va_end(args);
}

void CaptureMessages(std::string* capture) { g_capture = capture; }

}  // namespace vu32
