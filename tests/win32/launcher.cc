// Test-only launcher for the Win32 build: runs the program named by its
// first argument with the rest of its own command line, handing over its
// three standard handles, and exits with the child's exit code.
//
// Under a headless Wine a process started directly from a Unix shell has
// no console, so "CON" cannot be opened. Started through CreateProcess with
// CREATE_NO_WINDOW it gets a hidden console of its own while its standard
// handles stay the redirected ones.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// The command line after the launcher's own name, quoted exactly as it was
// given, so that the child parses the same arguments.
wchar_t* ChildCommandLine() {
  wchar_t* p = GetCommandLineW();
  // The program name follows simpler rules than other arguments: it ends at
  // the closing quote, or at the first blank when it is not quoted.
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// Standard input as VU32_LAUNCHER_STDIN asks for it: the file it names,
// opened as cmd.exe opens the file of "< name", or for "*" none at all.
// Null when the variable is not set (the launcher's own standard input),
// INVALID_HANDLE_VALUE when the file cannot be opened.
//
// Wine stands in badly for both: a file redirected on the Unix side becomes
// a handle without a volume, on which GetFileInformationByHandle fails where
// Windows would describe the file (so the program could not tell that its
// output file is its input), and a closed descriptor 0 becomes whatever
// Wine itself opened first.
HANDLE RequestedInput(bool* none) {
  *none = false;
  wchar_t name[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"VU32_LAUNCHER_STDIN", name, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  if (std::wcscmp(name, L"*") == 0) {
    *none = true;
    return nullptr;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// An inheritable copy of a standard handle, or the handle itself when it
// cannot be copied (absent, or a console pseudo-handle).
HANDLE Inheritable(DWORD which) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return h;
  HANDLE copy;
  if (DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0,
                      TRUE, DUPLICATE_SAME_ACCESS)) {
    return copy;
  }
  return h;
}

// What the child gets for a standard handle it is to be started without.
// Wine fills a null standard handle of a process that has a console with
// that console, where Windows leaves it null; INVALID_HANDLE_VALUE reaches
// the child as no handle on both.
HANDLE const kNoHandle = INVALID_HANDLE_VALUE;

// Starts `command` with `si`'s handles and `flags`, waits for it and gives
// its exit code; 126 when it cannot be started.
int RunChild(const wchar_t* program, wchar_t* command, STARTUPINFOW* si,
             DWORD flags) {
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program, command, nullptr, nullptr, TRUE, flags, nullptr,
                      nullptr, si, &pi)) {
    std::fwprintf(stderr, L"launcher: cannot start %ls (error %lu)\n", command,
                  GetLastError());
    return 126;
  }
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

// VU32_LAUNCHER_CONSOLE_STDERR=CODEPAGE: the child's standard error is a
// console screen buffer with that output code page; once the child ends,
// the buffer's text is written to the launcher's standard error in UTF-8,
// a line a row (trailing blanks dropped), as a user would read it there.
// A launcher without a console (under Wine, the one started from Unix)
// first starts itself again with one of its own.
int RunWithConsoleStderr(wchar_t* command, STARTUPINFOW* si, UINT code_page) {
  if (GetConsoleOutputCP() == 0) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    si->hStdError = Inheritable(STD_ERROR_HANDLE);
    return RunChild(self, GetCommandLineW(), si, CREATE_NO_WINDOW);
  }
  SetConsoleOutputCP(code_page);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE screen = CreateConsoleScreenBuffer(
      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
  SetConsoleScreenBufferSize(screen, COORD{200, 100});
  si->hStdError = screen;
  const int code = RunChild(nullptr, command, si, 0);  // on this console
  CONSOLE_SCREEN_BUFFER_INFO info;
  GetConsoleScreenBufferInfo(screen, &info);
  std::wstring text;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
    DWORD got = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), info.dwSize.X, COORD{0, y},
                                &got);
    row.resize(got);
    row.erase(row.find_last_not_of(L' ') + 1);
    if (y < info.dwCursorPosition.Y || !row.empty()) text += row + L"\n";
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      utf8.data(), n, nullptr, nullptr);
  DWORD written;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), utf8.data(),
            static_cast<DWORD>(utf8.size()), &written, nullptr);
  return code;
}

}  // namespace

int main() {
  wchar_t* command = ChildCommandLine();
  if (*command == L'\0') {
    std::fputws(L"usage: launcher PROGRAM [ARGUMENT...]\n", stderr);
    return 125;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  bool no_input;
  si.hStdInput = RequestedInput(&no_input);
  if (si.hStdInput == INVALID_HANDLE_VALUE) {
    std::fwprintf(stderr, L"launcher: no standard input file (error %lu)\n",
                  GetLastError());
    return 125;
  }
  if (si.hStdInput == nullptr) {
    si.hStdInput = no_input ? kNoHandle : Inheritable(STD_INPUT_HANDLE);
  }
  // VU32_LAUNCHER_NO_STDOUT: started without a standard output handle.
  si.hStdOutput =
      GetEnvironmentVariableW(L"VU32_LAUNCHER_NO_STDOUT", nullptr, 0)
          ? kNoHandle
          : Inheritable(STD_OUTPUT_HANDLE);
  // VU32_LAUNCHER_NO_STDERR: started without a standard error handle.
  si.hStdError = GetEnvironmentVariableW(L"VU32_LAUNCHER_NO_STDERR", nullptr, 0)
                     ? kNoHandle
                     : Inheritable(STD_ERROR_HANDLE);
  wchar_t code_page[16];
  if (GetEnvironmentVariableW(L"VU32_LAUNCHER_CONSOLE_STDERR", code_page, 16)) {
    return RunWithConsoleStderr(
        command, &si, static_cast<UINT>(std::wcstoul(code_page, nullptr, 10)));
  }
  return RunChild(nullptr, command, &si, CREATE_NO_WINDOW);
}
