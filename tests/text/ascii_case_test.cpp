// ASCII letters match in either case; nothing else is folded, in bytes or
// in UTF-16 units.
#include "text/ascii_case.h"

#include <gtest/gtest.h>

namespace {

TEST(AsciiCaseTest, OnlyAsciiLettersFold) {
  const struct {
    std::u16string_view text;
    std::string_view word;
    bool equal;
  } kCases[] = {
      {u"Contacts", "contacts", true},
      {u"CONTACTS", "Contacts", true},
      {u"contact", "contacts", false},
      {u"ｃontacts", "contacts", false},  // a full-width letter is not ASCII
      {u"\u00E9", "\xC9", false},          // é and É (in ISO-8859-1) do not fold
      {u"@[`{", "`{@[", false},            // the bytes around the letters do not fold
      {u"", "", true},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(text::EqualsNoCase(c.text, c.word), c.equal) << c.word;
    EXPECT_EQ(text::EqualsNoCase(c.text, text::LowerAscii(std::u16string(c.text))), true) << c.word;
    EXPECT_EQ(text::StartsWithNoCase(std::u16string(c.text) + u"X", c.word), c.equal) << c.word;
    // The same texts as bytes, where both sides are ASCII.
    if (c.text.find_first_not_of(u"@[`{CONTACTSontacts") != std::u16string_view::npos) continue;
    const std::string bytes(c.text.begin(), c.text.end());
    EXPECT_EQ(text::EqualsNoCase(bytes, c.word), c.equal) << c.word;
    EXPECT_EQ(text::EndsWithNoCase("x" + bytes, c.word), c.equal) << c.word;
  }
  EXPECT_FALSE(text::EqualsNoCase(std::string_view("\xC9"), std::string_view("\xE9")));
  EXPECT_EQ(text::LowerAscii(std::string_view("Outlook.APPLICATION \xC9")), "outlook.application \xC9");
}

}  // namespace
