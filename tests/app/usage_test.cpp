// Which command lines ask for the usage or the version: only the word alone,
// exactly; everything else is an output path.
#include "app/usage.h"

#include <gtest/gtest.h>

namespace {

TEST(Usage, OnlyTheWholeCommandLineAsks) {
  const struct {
    std::u16string_view commandLine;
    bool answered;
  } cases[] = {
      {u"--help", true},      {u"--version", true},  {u"./--help", false},  {u"--help x", false},
      {u" --help", false},    {u"--help ", false},   {u"--HELP", false},    {u"-h", false},
      {u"--versions", false}, {u"help", false},      {u"", false},          {u"out.csv", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(!app::InformationText(c.commandLine, "9.8.7").empty(), c.answered)
        << std::string(c.commandLine.begin(), c.commandLine.end());
  }
  EXPECT_EQ(app::InformationText(u"--version", "9.8.7"), "contact-export 9.8.7\n");
}

// contact-export-check takes no argument: only the empty command line runs it.
TEST(Usage, TheCheckRunsOnlyWithoutArguments) {
  for (const std::u16string_view commandLine : {u"--help", u"out.csv", u" ", u"-h"}) {
    EXPECT_TRUE(app::CheckInformationText(commandLine, "9.8.7").starts_with("Usage: contact-export-check\n"));
  }
  EXPECT_EQ(app::CheckInformationText(u"", "9.8.7"), "");
  EXPECT_EQ(app::CheckInformationText(u"--version", "9.8.7"), "contact-export-check 9.8.7\n");
}

}  // namespace
