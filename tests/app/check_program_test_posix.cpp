// The built contact-export-check beside the built export, over the profiles
// of the test data and over real failures: a cut-short data file, a failing
// book inside a folder, a CardDAV server refusing the password and one that
// is not running. The check ends as the export does, counts the lines the
// export writes, and its failing store or folder's line names the cause.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "store/carddav/dav_server_posix.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

class CheckProgramTest : public testing::Test {
 protected:
  static constexpr int kAnyExit = -1;  // whatever the export ends with
  // Runs both over `profile` (with `environment`) and compares them; the
  // check's text.
  std::string Compare(const fs::path& profile, int expectedExit, std::map<std::string, std::string> environment = {}) {
    environment["CONTACT_EXPORT_PROFILE"] = profile.string();
    const fs::path out = dir_ / "out.csv";
    fs::remove(out);
    const int exported = testprogram::RunProgram({out.string()}, environment).exitCode;
    const testprogram::Outcome checked = testprogram::RunCheck(environment);
    const std::string& text = checked.standardOutput;
    if (expectedExit != kAnyExit) {
      EXPECT_EQ(exported, expectedExit) << profile;
    }
    EXPECT_EQ(checked.exitCode, exported) << text;
    const std::string written = ReadBytes(out);
    const auto lines = std::count(written.begin(), written.end(), '\n');
    const std::string total = std::to_string(lines) + (lines == 1 ? " record;" : " records;");
    const std::string last = "; the export would end with exit code " + std::to_string(exported) + "\n";
    EXPECT_NE(text.find("\n" + total), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(last)) << text;
    return text;
  }
  testfiles::TempDir dir_;
};

TEST_F(CheckProgramTest, AgreesWithTheExportOnTheTestData) {
  REQUIRE_DATA_DIR(pst, "pst");
  const fs::path source(CONTACT_EXPORT_SOURCE_DIR);
  Compare(source / "examples/profile", 0);
  for (const char* book : {"thunderbird", "evolution", "thunderbird/abook.sqlite", "evolution/contacts.db"}) {
    Compare(source / "tests/data/sqlite" / book, 0);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(pst)) {
    if (entry.path().extension() != ".pst" && entry.path().extension() != ".ost") continue;
    const fs::path alone = dir_ / "alone";
    fs::remove_all(alone);
    fs::create_directories(alone);
    fs::copy_file(entry.path(), alone / entry.path().filename());
    Compare(alone, kAnyExit);
  }
}

// A data file cut short fails as a store, and the same file inside a folder
// of cards fails that folder part-way.
TEST_F(CheckProgramTest, NamesTheCauseOfAFailingStoreOrFolder) {
  REQUIRE_DATA_DIR(pst, "pst");
  const std::string whole = ReadBytes(pst / "hiraoka-contacts.pst");
  const std::string cut = whole.substr(0, 65536);
  fs::create_directories(dir_ / "p1");
  WriteBytes(dir_ / "p1" / "cut.pst", cut);
  std::string text = Compare(dir_ / "p1", 55);
  EXPECT_NE(text.find("  1. cut.pst (Outlook data file), the default store\n"), std::string::npos) << text;
  EXPECT_NE(text.find("     FAILS: file is 65536 bytes, its header records"), std::string::npos) << text;

  fs::create_directories(dir_ / "p2" / "Contacts");
  WriteBytes(dir_ / "p2" / "Contacts" / "a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Alpha;Anna\r\nEND:VCARD\r\n");
  WriteBytes(dir_ / "p2" / "Contacts" / "cut.pst", cut);
  text = Compare(dir_ / "p2" / "Contacts", 56);
  const std::string nested = (dir_ / "p2" / "Contacts" / "cut.pst").string();
  EXPECT_NE(text.find("    cut: 0 records\n      FAILS: " + nested + ": file is 65536 bytes, its header records"),
            std::string::npos)
      << text;
}

TEST_F(CheckProgramTest, NamesTheCauseOfAFailingServer) {
  REQUIRE_RADICALE();
  const int port = davtest::FreePort();
  fs::create_directories(dir_ / "server");
  davtest::ServerProcess server(davtest::RadicaleCommand(dir_ / "server", port, "alice", "right"), port);
  ASSERT_TRUE(server.ready()) << "Radicale did not start";
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  fs::create_directories(dir_ / "profile");
  WriteBytes(dir_ / "profile" / "dav.carddav", "url = " + url + "\nuser = alice\n");
  WriteBytes(dir_ / "netrc", "machine 127.0.0.1 login alice password wrong\n");
  const std::map<std::string, std::string> environment{{"NETRC", (dir_ / "netrc").string()}};
  std::string text = Compare(dir_ / "profile", 55, environment);
  EXPECT_NE(text.find("     at " + url + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("     FAILS: HTTP 401"), std::string::npos) << text;

  server.Stop();
  text = Compare(dir_ / "profile", 55, environment);
  EXPECT_NE(text.find("     FAILS: "), std::string::npos) << text;
  EXPECT_NE(text.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << text;
}

}  // namespace
