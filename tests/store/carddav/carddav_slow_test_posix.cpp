// CardDAV servers that never finish an answer (the tests' own slow_stub.py):
// a server that trickles ends the run by its pace limit, and a signal to end
// abandons a transfer the server holds open. Either way the run ends, with
// whole records only.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "csv/csv_file.h"
#include "export/export_contacts.h"
#include "om/object_model.h"
#include "hostile/hostile_support.h"
#include "store/carddav/carddav_http.h"
#include "store/carddav/dav_server_posix.h"
#include "store/store_sources.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using testfiles::ReadBytes;

constexpr int kCards = 450;       // three multigets of up to 200 cards
constexpr int kFirstBatch = 200;  // what the first multiget delivers

class CardDavSlowTest : public testing::Test {
 protected:
  void TearDown() override {
    stub_.reset();
    carddav::SetTimeoutsForTesting(carddav::kConnectSeconds, carddav::kPaceLimit);
  }

  // Starts the stub, slow where `where` says as `mode` says, with cards whose
  // notes have `note` bytes, and writes a profile whose one store is its book.
  void Start(const std::string& where, const std::string& mode, int note) {
    stub_.reset();
    const int port = davtest::FreePort();
    fs::create_directories(dir_ / "profile");
    testfiles::WriteBytes(dir_ / "profile" / "stub.carddav",
                          "url = http://127.0.0.1:" + std::to_string(port) + "/book/\n");
    fs::remove(Marker());
    stub_ = std::make_unique<davtest::ServerProcess>(
        std::vector<std::string>{davtest::kSystemPython, CONTACT_EXPORT_SOURCE_DIR "/tests/store/carddav/slow_stub.py",
                                 std::to_string(port), where, mode, std::to_string(kCards), std::to_string(note),
                                 Marker().string()},
        port);
    ASSERT_TRUE(stub_->ready()) << "the stub did not start";
  }

  fs::path Marker() const { return dir_ / "slow-answer-began"; }
  fs::path Out() const { return dir_ / "out.csv"; }

  // The records of the whole export, from the built program with nothing slow.
  std::vector<std::string> AllRecords(int note) {
    Start("none", "trickle", note);
    const testprogram::Outcome run = testprogram::RunProgram(
        {Out().string()},
        {{"CONTACT_EXPORT_PROFILE", (dir_ / "profile").string()}, {"NETRC", (dir_ / "no-netrc").string()}});
    EXPECT_EQ(run.exitCode, 0);
    const std::string bytes = ReadBytes(Out());
    std::vector<std::string> records;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2) {
      records.push_back(bytes.substr(at, end + 2 - at));
    }
    EXPECT_EQ(records.size(), static_cast<std::size_t>(kCards));
    return records;
  }

  testfiles::TempDir dir_;
  std::unique_ptr<davtest::ServerProcess> stub_;
};

// With the pace limit shortened to 1 KiB in 4 s, a server that sends one byte
// a second ends the run (the whole run inside this process, on the
// stand-alone store): 55 when it trickles while the store is discovered, 56
// with the first batch's records when it trickles in a book.
TEST_F(CardDavSlowTest, TrickleEndsTheRun) {
  const std::vector<std::string> all = AllRecords(100);
  struct Case {
    const char* where;
    int exitCode;
    std::size_t records;
  } cases[] = {{"discovery", 55, 0}, {"report", 56, kFirstBatch}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    Start(c.where, "trickle", 100);
    carddav::SetTimeoutsForTesting(carddav::kConnectSeconds, {seconds(4), 1024});
    const om::Handle application = store::CreateStandaloneApplicationAt((dir_ / "profile").string());
    const om::Handle nameSpace = om::AsObject(om::Get(application, "GetNamespace", std::u16string(u"MAPI")));
    std::future<int> run = std::async(std::launch::async, [&] {
      const int result = exporter::ExportContacts(Out().u16string(), nameSpace);
      csv::CsvFlush();
      return result;
    });
    // Only a guard against hanging: stopping the stub closes its connection,
    // which ends the run anyway.
    const bool ended = run.wait_for(seconds(60)) == std::future_status::ready;
    if (!ended) stub_.reset();
    EXPECT_TRUE(ended) << "still running after 60 s";
    EXPECT_EQ(run.get(), c.exitCode);
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(ReadBytes(Out()), all, &whole));
    EXPECT_EQ(whole, c.records);
  }
}

// SIGTERM while the server holds an answer open part-way, during discovery
// and in a book: the built program ends with 56 and whole records only
// (written before the signal; none in discovery), soon after the signal.
TEST_F(CardDavSlowTest, SignalAbandonsAHeldTransfer) {
  const std::vector<std::string> all = AllRecords(1000);  // about 1.3 KB a record
  struct Case {
    const char* where;
    bool records;  // the first batch's blocks were written before the signal
  } cases[] = {{"discovery", false}, {"report", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    Start(c.where, "hold", 1000);
    hostile::RunOptions options;
    options.args = {Out().string()};
    options.profile = (dir_ / "profile").string();
    options.measureMemory = false;
    const hostile::Child child = hostile::StartProgram(options);
    const auto deadline = std::chrono::steady_clock::now() + seconds(30);
    while (!fs::exists(Marker()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(fs::exists(Marker())) << "the stub never held an answer";
    kill(child.pid, SIGTERM);
    // A generous bound for a loaded machine: the property is that it ends.
    const hostile::RunResult result = hostile::WaitProgram(child, 20);
    EXPECT_FALSE(result.timedOut) << "still running 20 s after SIGTERM";
    EXPECT_EQ(result.exitCode, 56) << hostile::Describe(result);
    std::size_t whole = 0;
    EXPECT_TRUE(hostile::IsPrefixOfRecords(ReadBytes(Out()), all, &whole)) << "not whole records";
    if (c.records) {
      EXPECT_GT(whole, 0u);
      EXPECT_LE(whole, static_cast<std::size_t>(kFirstBatch));
    } else {
      EXPECT_EQ(whole, 0u);
    }
  }
}

}  // namespace
