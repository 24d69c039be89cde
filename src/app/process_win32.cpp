#include "app/process.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "app/process_win32.h"
#include "text/unicode_text.h"

namespace app {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Where the program's name ends: after its closing quote when it starts with
// one, otherwise at the first blank (the rule CreateProcess uses).
std::size_t ProgramNameEnd(std::u16string_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == u'"') {
    const std::size_t closing = commandLine.find(u'"', 1);
    return closing == std::u16string_view::npos ? commandLine.size() : closing + 1;
  }
  std::size_t end = 0;
  while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
  return end;
}

char16_t LowerCase(char16_t c) {
  wchar_t buffer[1] = {static_cast<wchar_t>(c)};
  CharLowerBuffW(buffer, 1);
  return static_cast<char16_t>(buffer[0]);
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return std::u16string(path.begin(), path.begin() + length);
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
}

// Writes `text` to a console in pieces: older consoles refuse one write
// larger than their shared buffer. A piece never ends between the two halves
// of a surrogate pair.
void WriteConsoleText(HANDLE console, std::u16string_view text) {
  constexpr std::size_t kPiece = 8192;
  while (!text.empty()) {
    std::size_t size = std::min(text.size(), kPiece);
    if (size < text.size() && text[size - 1] >= 0xD800 && text[size - 1] <= 0xDBFF) --size;
    std::wstring piece(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
    DWORD written = 0;
    if (!WriteConsoleW(console, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) || written == 0) {
      return;
    }
    text.remove_prefix(std::min<std::size_t>(written, size));
  }
}

// Held open until the process ends; Windows closes it then, however the
// process ends.
HANDLE gInstanceMutex = nullptr;

}  // namespace

std::u16string ArgumentText(std::u16string_view commandLine) {
  std::size_t start = ProgramNameEnd(commandLine);
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  std::u16string text;
  for (char16_t c : commandLine.substr(start)) {
    if (c != u'"') text.push_back(c);
  }
  return text;
}

std::u16string InstanceMutexName(std::u16string_view modulePath) {
  const std::size_t separator = modulePath.find_last_of(u"\\/");
  const std::u16string_view fileName =
      separator == std::u16string_view::npos ? modulePath : modulePath.substr(separator + 1);
  std::u16string name = u"Local\\";
  for (char16_t c : fileName) name.push_back(LowerCase(c));
  return name;
}

std::u16string ProcessCommandLine() {
  const wchar_t* commandLine = GetCommandLineW();
  const std::wstring_view wide(commandLine == nullptr ? L"" : commandLine);
  return ArgumentText(std::u16string(wide.begin(), wide.end()));
}

void ProcessStart() {
  // Windowless: a failing drive or a crash must end the process with its
  // exit code, not wait for someone to close a message box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

bool ProcessAcquireSingleInstance() {
  if (gInstanceMutex != nullptr) return true;  // already held by this process
  const std::wstring name = Wide(InstanceMutexName(ModulePath()));
  gInstanceMutex = CreateMutexW(nullptr, FALSE, name.c_str());
  const DWORD error = GetLastError();
  if (gInstanceMutex == nullptr) {
    // A mutex of that name that this process may not open is held by
    // another instance; any other failure leaves nothing to tell, so the
    // program runs.
    return error != ERROR_ACCESS_DENIED;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(gInstanceMutex);
    gInstanceMutex = nullptr;
    return false;
  }
  return true;
}

void ProcessShowText(std::string_view text) {
  // A GUI-subsystem program gets standard handles only when its caller hands
  // them over (a redirection, a pipe); a console it may borrow is its
  // parent's.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
  }
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    // A console shows bytes in its code page, which is not UTF-8 unless
    // someone chose it; as UTF-16 the text (folder names in Japanese, say)
    // shows whatever the code page.
    WriteConsoleText(out, text::Utf16FromUtf8(lines));
    return;
  }
  // A file or a pipe gets the UTF-8 bytes, for whatever reads them.
  DWORD written = 0;
  WriteFile(out, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
}

void ProcessSleep(unsigned milliseconds) { Sleep(milliseconds); }

void ProcessEnd(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace app
