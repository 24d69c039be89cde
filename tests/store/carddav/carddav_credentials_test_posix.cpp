// Where the built program sends the login of a .carddav file's url line:
// the tests' stub (origin_stub.py) listens on two ports of 127.0.0.1 and
// names a principal, a home or a book on the other port or under the name
// localhost, or redirects there. Only the url line's origin ever sees the
// login; what the other origin refuses fails as its rule says. And a book
// that lists a card twice gives it once.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "store/carddav/dav_server_posix.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;
using Authorizations = std::map<std::string, std::set<std::string>>;  // Host header -> Authorization headers

constexpr const char* kLogin = "Basic YWxpY2U6c2VjcmV0";  // alice:secret

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CardDavCredentialsTest : public testing::Test {
 protected:
  void SetUp() override {
    port_ = davtest::FreePort();
    do otherPort_ = davtest::FreePort();
    while (otherPort_ == port_);
    fs::create_directories(dir_ / "profile");
    testfiles::WriteBytes(dir_ / "profile" / "stub.carddav", "url = " + Origin("127.0.0.1", port_) + "/\n");
    // netrc names the host alone: no consent for its other ports.
    testfiles::WriteBytes(dir_ / "netrc", "machine 127.0.0.1 login alice password secret\n");
  }
  void TearDown() override { stub_.reset(); }

  static std::string Origin(const std::string& host, int port) { return "http://" + host + ":" + std::to_string(port); }

  // Runs the program against the stub in `mode` with ELSEWHERE `elsewhere`:
  // its records, its exit code and what each origin saw.
  std::vector<std::string> Export(const std::string& mode, const std::string& elsewhere, int* exitCode,
                                  Authorizations* seen) {
    stub_.reset();
    fs::remove(dir_ / "log");
    stub_ = std::make_unique<davtest::ServerProcess>(
        std::vector<std::string>{davtest::kSystemPython,
                                 CONTACT_EXPORT_SOURCE_DIR "/tests/store/carddav/origin_stub.py",
                                 std::to_string(port_), std::to_string(otherPort_), mode, elsewhere,
                                 (dir_ / "log").string()},
        port_);
    EXPECT_TRUE(stub_->ready()) << "the stub did not start";
    const fs::path out = dir_ / "out.csv";
    fs::remove(out);
    *exitCode = testprogram::RunProgram({out.string()}, {{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()},
                                                         {"NETRC", (dir_ / "netrc").string()}})
                    .exitCode;
    seen->clear();
    for (const std::string& line : Lines(ReadBytes(dir_ / "log"))) {
      const std::size_t space = line.find(' ');
      (*seen)[line.substr(0, space)].insert(line.substr(space + 1));
    }
    return Lines(ReadBytes(out));
  }

  testfiles::TempDir dir_;
  int port_ = 0;
  int otherPort_ = 0;
  std::unique_ptr<davtest::ServerProcess> stub_;
};

TEST_F(CardDavCredentialsTest, LoginGoesOnlyToTheOriginOfTheUrlLine) {
  const std::string self = "127.0.0.1:" + std::to_string(port_);
  const std::string otherPort = "127.0.0.1:" + std::to_string(otherPort_);
  const std::string otherName = "localhost:" + std::to_string(port_);
  const std::string otherBoth = "localhost:" + std::to_string(otherPort_);
  int exitCode = -1;
  Authorizations seen;
  // Everything at the url's origin: the two books, the login asked for and given.
  const std::vector<std::string> all = Export("same", "http://" + otherPort, &exitCode, &seen);
  ASSERT_EQ(exitCode, 0);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_NE(all[0].find("Person One"), std::string::npos);
  EXPECT_NE(all[1].find("Person Two"), std::string::npos);
  EXPECT_NE(all[2].find("Person Other"), std::string::npos);
  EXPECT_EQ(seen, (Authorizations{{self, {"-", kLogin}}}));

  struct Case {
    const char* mode;
    std::string elsewhere;  // a Host header
    int exitCode;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      {"principal", otherBoth, 55, {}},  // discovery refused elsewhere: a failing store
      {"home", otherPort, 55, {}},
      {"home", otherName, 55, {}},
      {"contacts", otherPort, 56, {}},  // a book refused elsewhere fails its folder
      {"book", otherName, 56, {all[0], all[1]}},
      {"redirect", otherPort, 56, {all[0], all[1]}},  // libcurl drops the login on the way
      {"redirect", otherName, 56, {all[0], all[1]}},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> records = Export(c.mode, "http://" + c.elsewhere, &exitCode, &seen);
    EXPECT_EQ(exitCode, c.exitCode) << c.mode << " " << c.elsewhere;
    EXPECT_TRUE(records == c.records) << c.mode << " " << c.elsewhere << ": " << records.size() << " records";
    EXPECT_EQ(seen, (Authorizations{{self, {"-", kLogin}}, {c.elsewhere, {"-"}}})) << c.mode << " " << c.elsewhere;
  }
}

// c1.vcf listed as c1.vcf, c%31.vcf and a whole URL, c2.vcf first as c%32.vcf:
// each card once, in the byte order of the href it was first listed by.
TEST_F(CardDavCredentialsTest, CardListedTwiceIsOneCard) {
  int exitCode = -1;
  Authorizations seen;
  const std::vector<std::string> all = Export("same", "http://localhost:1", &exitCode, &seen);
  ASSERT_EQ(exitCode, 0);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(Export("duplicates", "http://localhost:1", &exitCode, &seen),
            (std::vector<std::string>{all[1], all[0], all[2]}));
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
