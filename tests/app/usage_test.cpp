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

}  // namespace
