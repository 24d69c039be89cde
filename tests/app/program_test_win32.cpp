// The built .exe run as a Windows process: exit codes without Outlook, the
// single-instance mutex, the path taken from the command line, the GUI
// subsystem, the same bytes as the other builds for the sample profile, and
// --help and --version.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <random>

#include "app/process_win32.h"
#include "support/test_files.h"

namespace {

// Paths the build gives as POSIX paths when cross-compiling are reached
// through wine's drive Z:, which maps the POSIX root.
std::filesystem::path WindowsPath(const std::string& buildPath) {
  return std::filesystem::path(buildPath.front() == '/' ? "Z:" + buildPath : buildPath).make_preferred();
}

std::wstring Quoted(const std::filesystem::path& path) { return L"\"" + path.wstring() + L"\""; }

struct Outcome {
  DWORD exitCode = 0;
  ULONGLONG milliseconds = 0;
};

// Each test process runs its own copy of the program under a name of its
// own, so that tests running side by side never hold each other's mutex.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_ / ("contact-export-" + std::to_string(std::random_device()()) + ".exe");
    std::filesystem::copy_file(WindowsPath(CONTACT_EXPORT_BINARY), program_);
    SetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", nullptr);  // COM: no Outlook here
  }
  void TearDown() override { SetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", nullptr); }

  // Runs `commandLine` (program name included) and waits for it to end; in
  // `directory` when given, with `flags` for CreateProcess and `output` as
  // its standard output when given.
  Outcome Run(std::wstring commandLine, const std::filesystem::path& directory = {}, DWORD flags = 0,
              HANDLE output = nullptr) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdOutput = output;
    }
    PROCESS_INFORMATION process{};
    const ULONGLONG start = GetTickCount64();
    if (!CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, flags,
                        nullptr, directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start the program: error " << GetLastError();
      return {};
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    Outcome outcome;
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    outcome.milliseconds = GetTickCount64() - start;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
  }
  Outcome RunFor(const std::filesystem::path& output) { return Run(Quoted(program_) + L" " + output.wstring()); }

  testfiles::TempDir dir_;
  std::filesystem::path program_;
};

TEST_F(ProgramTest, WithoutOutlookEndsWith51AndLeavesTheOutputAlone) {
  const auto created = dir_ / "new.csv";
  const Outcome outcome = RunFor(created);
  EXPECT_EQ(outcome.exitCode, 51u);
  EXPECT_GE(outcome.milliseconds, 490u);  // the pause before releasing the application
  EXPECT_FALSE(std::filesystem::exists(created));

  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  EXPECT_EQ(RunFor(existing).exitCode, 51u);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
}

TEST_F(ProgramTest, SecondInstanceEndsWith57WhileTheMutexIsHeld) {
  const std::u16string name = app::InstanceMutexName(program_.u16string());
  const std::wstring wideName(name.begin(), name.end());
  const HANDLE held = CreateMutexW(nullptr, FALSE, wideName.c_str());
  ASSERT_NE(held, nullptr);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a copy of the program is running";
  const auto existing = dir_ / "existing.csv";
  testfiles::WriteBytes(existing, "previous");
  const Outcome outcome = RunFor(existing);
  CloseHandle(held);
  EXPECT_EQ(outcome.exitCode, 57u);
  EXPECT_GE(outcome.milliseconds, 490u);
  EXPECT_EQ(testfiles::ReadBytes(existing), "previous");
  // Once the holder is gone the program runs again (and finds no Outlook).
  EXPECT_EQ(RunFor(existing).exitCode, 51u);
}

// Windowless: built for the GUI subsystem, so no console ever appears.
TEST_F(ProgramTest, IsAWindowsGuiProgram) {
  const std::string image = testfiles::ReadBytes(program_);
  ASSERT_GT(image.size(), 0x200u);
  std::uint32_t peOffset = 0;
  std::memcpy(&peOffset, image.data() + 0x3C, sizeof peOffset);
  ASSERT_LT(peOffset + 0x5Eu, image.size());
  ASSERT_EQ(image.compare(peOffset, 4, std::string("PE\0\0", 4)), 0);
  // Subsystem field: PE signature (4) + file header (20) + offset 68 in the optional header.
  std::uint16_t subsystem = 0;
  std::memcpy(&subsystem, image.data() + peOffset + 4 + 20 + 68, sizeof subsystem);
  EXPECT_EQ(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

// With the stand-alone store the program exports without Outlook; the path
// comes from the command line however the caller quoted it, and the bytes are
// those every build writes for the sample profile.
TEST_F(ProgramTest, SampleProfileThroughQuotedAndUnquotedPaths) {
  const auto source = WindowsPath(CONTACT_EXPORT_SOURCE_DIR);
  const auto profile = source / "examples" / "profile";
  const auto expectedFile = source / "examples" / "profile.expected.csv";
  ASSERT_TRUE(std::filesystem::exists(profile) && std::filesystem::exists(expectedFile))
      << "the sample profile is missing from " << source;
  const std::string expected = testfiles::ReadBytes(expectedFile);
  ASSERT_TRUE(SetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", profile.c_str()));
  const auto folder = dir_ / "with  two spaces";
  std::filesystem::create_directory(folder);
  const std::wstring name = Quoted(program_);
  // Unquoted where the program's own path allows it.
  const std::wstring bareName = program_.wstring().find(L' ') == std::wstring::npos ? program_.wstring() : name;
  const struct {
    std::wstring commandLine;
    std::filesystem::path written;
  } cases[] = {
      {name + L" " + Quoted(folder / "quoted.csv"), folder / "quoted.csv"},
      {name + L"   " + (folder / "bare.csv").wstring(), folder / "bare.csv"},
      {bareName + L"\t\"" + folder.wstring() + L"\\\"half quoted.csv", folder / "half quoted.csv"},
      {name + L" " + (folder / L"連絡先 一覧.csv").wstring(), folder / L"連絡先 一覧.csv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.commandLine).exitCode, 0u) << c.written;
    const std::string written = testfiles::ReadBytes(c.written);
    // Compared whole; only the sizes are printed, the bytes are not readable.
    EXPECT_TRUE(written == expected) << c.written << ": " << written.size() << " bytes, expected "
                                     << expected.size();
  }
  // Nothing but the program's name: an empty path, which cannot be opened.
  EXPECT_EQ(Run(name + L"  ").exitCode, 52u);
}

// --help and --version end with 0 before the mutex (held here) or any file,
// even with a profile that a path would be exported from; quotes count as for
// a path, and ".\--help" is a path. Without a console or a standard output
// (DETACHED_PROCESS) the text goes nowhere; a standard output handed over, as
// a redirection does, gets it.
TEST_F(ProgramTest, HelpAndVersionEndWithZeroAndWriteNoFile) {
  const auto profile = WindowsPath(CONTACT_EXPORT_SOURCE_DIR) / "examples" / "profile";
  ASSERT_TRUE(std::filesystem::exists(profile));
  ASSERT_TRUE(SetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", profile.c_str()));
  const auto work = dir_ / "work";
  std::filesystem::create_directory(work);
  const std::u16string name = app::InstanceMutexName(program_.u16string());
  const HANDLE held = CreateMutexW(nullptr, FALSE, std::wstring(name.begin(), name.end()).c_str());
  ASSERT_NE(held, nullptr);
  for (const wchar_t* argument : {L"--help", L"--version", L"\"--help\"", L"  --version"}) {
    EXPECT_EQ(Run(Quoted(program_) + L" " + argument, work, DETACHED_PROCESS).exitCode, 0u) << argument;
  }
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const auto printed = dir_ / "printed.txt";
  const HANDLE output = CreateFileW(printed.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Run(Quoted(program_) + L" --version", work, DETACHED_PROCESS, output).exitCode, 0u);
  CloseHandle(output);
  CloseHandle(held);
  EXPECT_TRUE(std::filesystem::is_empty(work));
  EXPECT_EQ(testfiles::ReadBytes(printed), "contact-export " CONTACT_EXPORT_VERSION "\r\n");

  EXPECT_EQ(Run(Quoted(program_) + L" .\\--help", work).exitCode, 0u);
  EXPECT_TRUE(std::filesystem::exists(work / "--help"));
}

}  // namespace
