#include "support/messages.h"

#include "platform/platform.h"

namespace vu32 {
namespace {

// UTF-8 texts where the locale (or VU32_MESSAGE_ENCODING) asks for them.
bool g_utf8 = false;
// Where messages go in tests; null means standard error.
std::string* g_capture = nullptr;
// --quiet: progress lines are left out.
bool g_quiet = false;

}  // namespace

void SetMessagesUtf8(bool utf8) { g_utf8 = utf8; }

void SetQuiet(bool quiet) { g_quiet = quiet; }

bool Shown(const Message& message) {
  return !g_quiet || message.kind != MessageKind::kProgress;
}

std::string_view MessageBytes(const Message& message) {
  return g_utf8 ? message.text : message.sjis;
}

void WriteMessage(std::string_view bytes) {
  if (g_capture) {
    g_capture->append(bytes);
    return;
  }
  // A console shows them whatever its code page.
  if (platform::WriteToConsole(2, bytes, g_utf8)) return;
  // Messages are rare; an unbuffered write keeps their order with the data.
  platform::WriteAll(2, bytes.data(), bytes.size());
}

bool WriteStandardOutput(std::string_view bytes) {
  return platform::WriteAll(1, bytes.data(), bytes.size());
}

void Report(const Message& message, std::string_view argument) {
  if (!Shown(message)) return;
  std::string line(MessageBytes(message));
  line.append(argument);
  line.push_back('\n');
  WriteMessage(line);
}

void ReportText(const Message& message) {
  if (Shown(message)) WriteMessage(MessageBytes(message));
}

void CaptureMessages(std::string* capture) { g_capture = capture; }

}  // namespace vu32
