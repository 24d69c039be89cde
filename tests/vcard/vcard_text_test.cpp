// Charsets of vCard values and encodings of whole files.
#include <gtest/gtest.h>

#include <string>

#include "vcard/vcard_test_support.h"

namespace {

TEST(VcardTextTest, Charsets) {
  // N holds "last;first" in the given bytes. 0x83 0x5C is カタカナ "ソ" and
  // 0x95 0x5C "表" in code page 932: their trail byte is the backslash.
  const struct {
    std::string_view params, value;
    std::u16string last, first;
  } kCases[] = {
      {";CHARSET=UTF-8", "J\xC3\xA9r\xC3\xB4me;x", u"Jérôme", u"x"},
      {";CHARSET=SHIFT_JIS", "\x83\x5C;\x95\x5C", u"ソ", u"表"},
      {";CHARSET=cp932", "\x83\x5C;\x95\x5C", u"ソ", u"表"},
      {";CHARSET=Windows-31J", "\x83\x5C;\x95\x5C", u"ソ", u"表"},
      {";ENCODING=QUOTED-PRINTABLE;CHARSET=SHIFT_JIS", "=83=5C;=95=5C", u"ソ", u"表"},
      {";CHARSET=ISO-8859-1", "\xE9;\xFF", u"é", u"ÿ"},
      {";CHARSET=US-ASCII", "a\xE9;b", u"a\uFFFD", u"b"},
      {"", "\xC3\xA9;x", u"é", u"x"},
      {"", "\x83\x5C;\x95\x5C", u"ソ", u"表"},
      {";CHARSET=blabla", "\x83\x5C;x", u"ソ", u"x"},
      {";CHARSET=UTF-8", "a\xFF\xC3;b\xED\xA0\x80", u"a\uFFFD\uFFFD", u"b\uFFFD\uFFFD\uFFFD"},
      {";CHARSET=SHIFT_JIS", "\x83;x", u"\uFFFD", u"x"},
      // Read by the platform's converter.
      {";CHARSET=Windows-1251", "\xCA\xEB\xE8\xF7\xEA\xEE;x", u"Кличко", u"x"},
      {";CHARSET=windows-1251;ENCODING=QUOTED-PRINTABLE", "=CA=EB=E8=F7=EA=EE;x", u"Кличко", u"x"},
      {";CHARSET=KOI8-R", "\xEB\xCC\xC9\xDE\xCB\xCF;x", u"Кличко", u"x"},
      {";CHARSET=GBK", "\xD5\xC5\xCE\xB0;x", u"张伟", u"x"},
      {";CHARSET=GB2312", "\xD5\xC5;\xCE\xB0", u"张", u"伟"},
      {";CHARSET=Big5", "\xB1\x69\xB0\xB6;x", u"張偉", u"x"},
      {";CHARSET=MACINTOSH", "Caf\x8E;x", u"Café", u"x"},
      {";CHARSET=WINDOWS-1252", "\x80;\xE9", u"€", u"é"},
      // Not a charset of a card's bytes (it reads ASCII otherwise), nor a
      // name: as if no CHARSET were given.
      {";CHARSET=UTF-16", "\x83\x5C;x", u"ソ", u"x"},
      {";CHARSET=UTF-8//TRANSLIT", "\x83\x5C;x", u"ソ", u"x"},
  };
  for (const auto& c : kCases) {
    for (std::string_view version : {"2.1", "3.0"}) {
      SCOPED_TRACE(std::string(c.params) + " " + std::string(version));
      const std::string file = "BEGIN:VCARD\r\nVERSION:" + std::string(version) + "\r\nN" + std::string(c.params) + ":" +
                               std::string(c.value) + "\r\nEND:VCARD\r\n";
      vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), {{"lastname", c.last}, {"FirstName", c.first}});
    }
  }
}

TEST(VcardTextTest, UndeclaredBytesTakeTheCharsetTheCardNames) {
  // FN holds Windows-1251 bytes without CHARSET; another property of the
  // same card, before or after it (LABEL is not read by the mapping, TITLE
  // is), names the charset. Bytes that are valid UTF-8 stay UTF-8.
  const std::string fn = "FN:\xCA\xEB\xE8\xF7\xEA\xEE\r\n";
  const std::u16string cp932 = u"ﾊ\uFFFD\uE5CD\uFFFD";  // the same bytes in code page 932
  const struct {
    const char* what;
    std::string lines;
    vcard_test::Expected expected;
  } kCases[] = {
      {"named after", fn + "LABEL;CHARSET=Windows-1251;QUOTED-PRINTABLE:=CA\r\n", {{"FileAs", u"Кличко"}}},
      {"named before", "TITLE;CHARSET=WINDOWS-1251:\xC2\r\n" + fn, {{"FileAs", u"Кличко"}, {"JobTitle", u"В"}}},
      {"quoted-printable", "FN;ENCODING=QUOTED-PRINTABLE:=CA=EB=E8=F7=EA=EE\r\nLABEL;CHARSET=windows-1251:x\r\n",
       {{"FileAs", u"Кличко"}}},
      {"first named wins", fn + "LABEL;CHARSET=KOI8-R:x\r\nLABEL;CHARSET=windows-1251:x\r\n",
       {{"FileAs", u"йКХВЙН"}}},
      {"UTF-8 names no charset for other bytes", fn + "LABEL;CHARSET=UTF-8:x\r\n", {{"FileAs", cp932}}},
      {"valid UTF-8 stays", "FN:\xD0\x9A\r\nLABEL;CHARSET=windows-1251:x\r\n", {{"FileAs", u"К"}}},
      {"nothing named: code page 932", fn, {{"FileAs", cp932}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string file = "BEGIN:VCARD\r\nVERSION:2.1\r\n" + c.lines + "END:VCARD\r\n";
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), c.expected);
  }
}

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

TEST(VcardTextTest, Utf16FilesWithByteOrderMark) {
  const std::u16string_view text =
      u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Kinzel;Folker\r\nEND:VCARD\r\n"
      u"BEGIN:VCARD\r\nVERSION:3.0\r\nN;CHARSET=SHIFT_JIS:Au\u00DFenstelle;\U00020BB7\r\nEND:VCARD\r\n";
  for (bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian ? "UTF-16BE" : "UTF-16LE");
    const std::string file = Utf16(text, big_endian);
    const std::vector<vcard::CardExtent> cards = vcard::FindCards(file);
    ASSERT_EQ(cards.size(), 2u);
    // Byte ranges of the file: after the mark, whole code units, ending
    // with the END:VCARD line (its line break not included).
    EXPECT_EQ(cards[0].offset, 2u);
    EXPECT_EQ(cards[0].length, (text.find(u"END:VCARD") + 9) * 2);
    EXPECT_EQ(cards[1].offset, 2 + text.find(u"BEGIN", 10) * 2);
    EXPECT_EQ(cards[1].offset + cards[1].length, file.size() - 4);
    std::optional<vcard::Card> second = vcard::ReadCard(file, cards[1]);
    ASSERT_TRUE(second.has_value());
    vcard_test::ExpectColumns(*second, {{"lastname", u"Außenstelle"}, {"FirstName", u"\U00020BB7"}});
  }
}

TEST(VcardTextTest, Utf8ByteOrderMark) {
  const std::string file = "\xEF\xBB\xBF" "BEGIN:VCARD\nVERSION:3.0\nN:\xC3\xA9;x\nEND:VCARD\n";
  const std::vector<vcard::CardExtent> cards = vcard::FindCards(file);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].offset, 3u);
  vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), {{"lastname", u"é"}, {"FirstName", u"x"}});
  // An extent that takes in the mark reads the same.
  vcard_test::ExpectColumns(vcard::ReadCard(file, {0, file.size()}).value_or(vcard::Card{}),
                            {{"lastname", u"é"}, {"FirstName", u"x"}});
}

}  // namespace
