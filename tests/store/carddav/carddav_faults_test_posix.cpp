// A CardDAV book whose server fails part-way (the tests' own stub,
// dav_stub.py): a failed card request fails the folder, so the export ends
// 56 with the records before it; only a card the server reports as 404 is
// one item left out. Whatever happens, only reading methods are sent.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "om/error_numbers.h"
#include "store/carddav/carddav_http.h"
#include "store/carddav/dav_server_posix.h"
#include "store/profile.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testfiles::ReadBytes;

constexpr int kCards = 450;       // three multigets of up to 200 cards
constexpr int kFirstBatch = 200;  // what the first multiget delivers

class CardDavFaultTest : public testing::Test {
 protected:
  // Starts the stub in `mode` and writes a profile whose one store is its book.
  void Start(const std::string& mode) {
    const int port = davtest::FreePort();
    fs::create_directories(dir_ / "profile");
    testfiles::WriteBytes(dir_ / "profile" / "stub.carddav",
                          "url = http://127.0.0.1:" + std::to_string(port) + "/book/\n");
    fs::remove(dir_ / "methods");
    stub_ = std::make_unique<davtest::ServerProcess>(
        std::vector<std::string>{davtest::kSystemPython, CONTACT_EXPORT_SOURCE_DIR "/tests/store/carddav/dav_stub.py",
                                 std::to_string(port), mode, std::to_string(kCards), (dir_ / "methods").string()},
        port);
    ASSERT_TRUE(stub_->ready()) << "the stub did not start";
  }
  void TearDown() override { stub_.reset(); }

  std::string Export(int* exitCode) {
    const fs::path out = dir_ / "out.csv";
    *exitCode = testprogram::RunProgram({out.string()}, {{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()},
                                                         {"NETRC", (dir_ / "no-netrc").string()}})
                    .exitCode;
    return ReadBytes(out);
  }

  // Every method the stub received, each one that is not a reading method.
  std::vector<std::string> WritingMethods() const {
    std::istringstream methods(ReadBytes(dir_ / "methods"));
    std::vector<std::string> writing;
    for (std::string method; std::getline(methods, method);) {
      if (method != "PROPFIND" && method != "REPORT" && method != "GET") writing.push_back(method);
    }
    return writing;
  }

  testfiles::TempDir dir_;
  std::unique_ptr<davtest::ServerProcess> stub_;
};

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(at) + "<cut>");
      break;
    }
    lines.push_back(bytes.substr(at, end + 2 - at));
    at = end + 2;
  }
  return lines;
}

TEST_F(CardDavFaultTest, EachFailureEndsAsItsRuleSays) {
  Start("none");
  int exitCode = -1;
  const std::vector<std::string> all = Lines(Export(&exitCode));
  ASSERT_EQ(exitCode, 0);
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kCards));
  EXPECT_EQ(WritingMethods(), std::vector<std::string>{});

  struct Case {
    const char* mode;
    int exitCode;
    std::vector<std::string> records;
  };
  std::vector<std::string> withoutCard3 = all;
  withoutCard3.erase(withoutCard3.begin() + 3);
  const std::vector<std::string> firstBatch(all.begin(), all.begin() + kFirstBatch);
  const Case cases[] = {
      {"discovery", 55, {}},  // a server error while discovering: a failing store
      {"report500", 56, firstBatch},
      {"cut", 56, firstBatch},
      {"malformed", 56, firstBatch},
      {"missing", 0, withoutCard3},  // the server's own 404 for one card
  };
  for (const Case& c : cases) {
    stub_.reset();
    Start(c.mode);
    const std::vector<std::string> lines = Lines(Export(&exitCode));
    EXPECT_EQ(lines.size(), c.records.size()) << c.mode;
    EXPECT_TRUE(lines == c.records) << c.mode << ": records differ";
    EXPECT_EQ(exitCode, c.exitCode) << c.mode;
    EXPECT_EQ(WritingMethods(), std::vector<std::string>{}) << c.mode;
  }
}

// A card lies where its href says; a card the server reports missing says
// so with its href, a request for cards that fails with the cards asked for
// and the server's answer.
TEST_F(CardDavFaultTest, FailuresSayWhereAndWhy) {
  const struct {
    const char* mode;
    std::size_t index;
    std::uint32_t number;
    std::string reason;
  } kCases[] = {
      {"missing", 3, om::kMapiCorruptData, "/book/c000003.vcf: the server reports it missing (404)"},
      {"report500", kFirstBatch, om::kMapiCallFailed, "reading cards 201-400: HTTP 500 from http://127.0.0.1:"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.mode);
    stub_.reset();
    Start(c.mode);
    const store::StoreList stores = store::OpenProfile((dir_ / "profile").string());
    ASSERT_EQ(stores.size(), 1u);
    const std::unique_ptr<store::FolderSource> book = stores[0].source->OpenDefaultContactsFolder();
    ASSERT_EQ(book->ItemCount(), static_cast<std::size_t>(kCards));
    EXPECT_EQ(book->Location(0), "/book/c000000.vcf");
    book->FetchItem(0);  // the first multiget; the stub fails the second
    try {
      book->FetchItem(c.index);
      ADD_FAILURE() << "fetched";
    } catch (const om::ObjectModelError& error) {
      EXPECT_EQ(error.number(), c.number);
      EXPECT_TRUE(error.reason().starts_with(c.reason)) << error.reason();
    }
  }
}

// A server that stops sending part-way through a body: the request ends when
// its pace window (shortened here) passes and the folder fails, before and after.
TEST_F(CardDavFaultTest, StalledBodyFailsTheFolder) {
  Start("stall");
  carddav::SetTimeoutsForTesting(carddav::kConnectSeconds, {std::chrono::seconds(2), 1024});
  const store::StoreList stores = store::OpenProfile((dir_ / "profile").string());
  ASSERT_EQ(stores.size(), 1u);
  const std::unique_ptr<store::FolderSource> book = stores[0].source->OpenDefaultContactsFolder();
  ASSERT_EQ(book->ItemCount(), static_cast<std::size_t>(kCards));
  for (int i = 0; i < kFirstBatch; ++i) EXPECT_EQ(book->FetchItem(i).kind, om::ItemKind::kContact);
  const auto failureOf = [](auto&& call) -> std::uint32_t {
    try {
      call();
    } catch (const om::ObjectModelError& error) {
      return error.number();
    }
    return 0;
  };
  EXPECT_EQ(failureOf([&] { book->FetchItem(kFirstBatch); }), om::kMapiCallFailed);
  EXPECT_EQ(failureOf([&] { book->ItemCount(); }), om::kMapiCallFailed);
  EXPECT_EQ(failureOf([&] { book->SubfolderCount(); }), om::kMapiCallFailed);
  carddav::SetTimeoutsForTesting(carddav::kConnectSeconds, carddav::kPaceLimit);
  EXPECT_EQ(WritingMethods(), std::vector<std::string>{});
}

}  // namespace
