// The run sequence inside the test process, over an object model held in
// memory: what "Outlook.Application" is comes from the factory handed to it,
// the output path from its command line; a second instance or a missing
// application or namespace ends the run before the file is touched, and the
// pause before the application is let go runs on every path.
#include <gtest/gtest.h>

#include "app/run_sequence.h"
#include "csv/csv_file.h"
#include "om/error_numbers.h"
#include "om/result_codes.h"
#include "support/fake_object_model.h"
#include "support/test_files.h"

namespace {

using fake::Folder;
using testfiles::RecordLine;

int gPauses = 0;
bool gOtherInstance = false;
om::Handle gApplication;

bool AlwaysAlone() { return !gOtherInstance; }
void CountPause(unsigned milliseconds) {
  EXPECT_EQ(milliseconds, 500u);
  ++gPauses;
}
om::Handle CreateInstalled(std::u16string_view progId) {
  EXPECT_EQ(progId, u"Outlook.Application");
  if (!gApplication) throw om::ObjectModelError(om::kClassNotRegistered);
  return gApplication;
}

fake::Ptr Named(std::u16string last) { return fake::Contact({{"lastname", std::move(last)}}); }

class RunSequenceTest : public testing::Test {
 protected:
  void SetUp() override {
    gPauses = 0;
    fake::ResetCallCount();
    app::SetSleepFunction(CountPause);
    app::SetInstanceCheck(AlwaysAlone);
    app::SetObjectFactory(CreateInstalled);
  }
  void TearDown() override {
    gApplication.reset();
    app::SetSleepFunction(nullptr);
    app::SetInstanceCheck(nullptr);
    app::SetObjectFactory(nullptr);
  }

  int Run(const fake::Profile& profile) {
    gApplication = profile.application;
    const int result = app::RunSequence(out_.u16string());
    csv::CsvFlush();
    return result;
  }
  std::string Output() const { return testfiles::ReadBytes(out_); }

  testfiles::TempDir dir_;
  std::filesystem::path out_ = dir_ / "out.csv";
};

TEST_F(RunSequenceTest, ExportsTheFactorysApplicationToTheCommandLinesPath) {
  EXPECT_EQ(Run(fake::MakeProfile(Folder({Named(u"A")}))), om::RC_OK);
  EXPECT_EQ(Output(), RecordLine({"A"}));
  EXPECT_EQ(gPauses, 1);
}

TEST_F(RunSequenceTest, NoApplicationOrNamespaceGives51WithoutTouchingTheFile) {
  testfiles::WriteBytes(out_, "keep");
  fake::Profile none;
  EXPECT_EQ(Run(none), om::RC_OUTLOOK_UNAVAILABLE);

  auto nothing = fake::MakeProfile(Folder({Named(u"a")}));
  nothing.application->Set("GetNamespace", om::Value{});
  EXPECT_EQ(Run(nothing), om::RC_OUTLOOK_UNAVAILABLE);

  auto failing = fake::MakeProfile(Folder({Named(u"a")}));
  failing.application->Fail("GetNamespace", 0x80004005);
  EXPECT_EQ(Run(failing), om::RC_OUTLOOK_UNAVAILABLE);

  EXPECT_EQ(Output(), "keep");
  EXPECT_EQ(gPauses, 3);  // the pause runs on every path
}

TEST_F(RunSequenceTest, SecondInstanceGives57BeforeAnythingElse) {
  testfiles::WriteBytes(out_, "keep");
  gOtherInstance = true;
  const int result = Run(fake::MakeProfile(Folder({Named(u"A")})));
  gOtherInstance = false;
  EXPECT_EQ(result, om::RC_ALREADY_RUNNING);
  EXPECT_EQ(fake::CallCount(), 0);  // the store was never asked for anything
  EXPECT_EQ(Output(), "keep");
  EXPECT_EQ(gPauses, 1);
}

}  // namespace
