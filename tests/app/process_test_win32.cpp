// The pure parts of the Windows process services: the output path taken from
// the command line, and the name of the single-instance mutex.
#include "app/process_win32.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowsCommandLine, PathFollowsTheProgramNameWithQuotesRemoved) {
  const struct {
    std::u16string_view commandLine;
    std::u16string_view path;
  } cases[] = {
      {u"contact-export.exe out.csv", u"out.csv"},
      {u"contact-export.exe", u""},
      {u"contact-export.exe   \t  ", u""},
      {u"\"C:\\Program Files\\x\\contact-export.exe\" out.csv", u"out.csv"},
      {u"\"C:\\Program Files\\x\\contact-export.exe\"out.csv", u"out.csv"},
      {u"\"C:\\unclosed quote.exe out.csv", u""},
      {u"C:\\x\\contact-export.exe\tC:\\a b\\c  d.csv", u"C:\\a b\\c  d.csv"},  // spaces inside kept
      {u"contact-export.exe \"C:\\My Documents\\out.csv\"", u"C:\\My Documents\\out.csv"},
      {u"contact-export.exe \"C:\\My Documents\\\"out.csv", u"C:\\My Documents\\out.csv"},
      {u"contact-export.exe C:\\a\\\"\"b\".csv", u"C:\\a\\b.csv"},
      {u"contact-export.exe  out.csv  ", u"out.csv  "},  // trailing blanks are the caller's
      {u"contact-export.exe D:\\データ\\連絡先.csv", u"D:\\データ\\連絡先.csv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::ArgumentText(c.commandLine), c.path)
        << std::string(c.commandLine.begin(), c.commandLine.end());
  }
}

TEST(WindowsSingleInstance, MutexIsNamedAfterTheExecutableInThisSession) {
  EXPECT_EQ(app::InstanceMutexName(u"C:\\Tools\\Contact-Export.EXE"), u"Local\\contact-export.exe");
  EXPECT_EQ(app::InstanceMutexName(u"D:\\other\\place/contact-export.exe"), u"Local\\contact-export.exe");
  EXPECT_EQ(app::InstanceMutexName(u"contact-export.exe"), u"Local\\contact-export.exe");
  EXPECT_NE(app::InstanceMutexName(u"C:\\x\\renamed.exe"), app::InstanceMutexName(u"C:\\x\\contact-export.exe"));
}

}  // namespace
