// Bytes that form no character in a charset read by iconv: one U+FFFD for
// each byte that starts none, one for a character cut off at the end, as
// the built-in charsets do. (Windows replaces them its own way.)
#include <gtest/gtest.h>

#include <string>

#include "vcard/vcard_test_support.h"

namespace {

TEST(VcardCharsetTest, BytesThatFormNoCharacterInAnIconvCharset) {
  const struct {
    std::string_view params, value;
    std::u16string last, first;
  } kCases[] = {
      {";CHARSET=GB2312", "\xD5\xC5\x81;\x81x", u"张\uFFFD", u"\uFFFDx"},
      {";CHARSET=Big5", "\xB1;\xFF\xB1\x69", u"\uFFFD", u"\uFFFD張"},
      {";CHARSET=EUC-KR;ENCODING=QUOTED-PRINTABLE", "=B0=A1=FF;=B0", u"가\uFFFD", u"\uFFFD"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.params);
    const std::string file = "BEGIN:VCARD\r\nVERSION:2.1\r\nN" + std::string(c.params) + ":" + std::string(c.value) +
                             "\r\nEND:VCARD\r\n";
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), {{"lastname", c.last}, {"FirstName", c.first}});
  }
}

}  // namespace
