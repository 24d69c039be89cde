// Content lines of vCard files: line ends, folding, quoted-printable soft
// line breaks, skipped base64 data, escapes and names without case.
#include <gtest/gtest.h>

#include <string>

#include "vcard/vcard_fields.h"
#include "vcard/vcard_test_support.h"

namespace {

using vcard_test::Expected;

std::string WithLineEnds(std::string_view lines, std::string_view eol) {
  std::string out;
  for (char c : lines) {
    if (c == '\n') {
      out += eol;
    } else {
      out += c;
    }
  }
  return out;
}

TEST(VcardLexerTest, EveryLineEndReadsTheSame) {
  const std::string_view card =
      "BEGIN:VCARD\nVERSION:3.0\nN:Doe;John\nNOTE:fol\n ded\nTEL;TYPE=home:1\nEND:VCARD\n";
  for (std::string_view eol : {"\r\n", "\n", "\r", "\r\r\n"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(WithLineEnds(card, eol)),
                              {{"lastname", u"Doe"}, {"FirstName", u"John"}, {"Body", u"folded"},
                               {"HomeTelephoneNumber", u"1"}});
  }
}

struct LineCase {
  const char* what;
  std::string file;
  Expected expected;
};

void Check(const std::vector<LineCase>& cases) {
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(c.file), c.expected);
  }
}

TEST(VcardLexerTest, Folding) {
  Check({
      {"one space or tab is removed, further ones stay",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:a\r\n  b\r\n\tc\r\nEND:VCARD\r\n", {{"Body", u"a bc"}}},
      {"parameters folded with a tab and a space",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nTEL;TYPE=VOICE,M\r\n\tSG,WO\r\n RK:+1-919\r\nEND:VCARD\r\n",
       {{"BusinessTelephoneNumber", u"+1-919"}}},
      {"a UTF-8 character folded in the middle",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xCE\r\n \xB1\xCE\xB2;x\r\nEND:VCARD\r\n",
       {{"lastname", u"αβ"}, {"FirstName", u"x"}}},
  });
}

TEST(VcardLexerTest, QuotedPrintable) {
  Check({
      {"soft breaks join lines as they are; =0D=0A is a line break",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:line1=0D=0Aline2=\r\n continued=\r\n=3D end\r\n"
       "END:VCARD\r\n",
       {{"Body", u"line1\r\nline2 continued= end"}}},
      {"bare parameter, value starting with a soft break, lower-case hex",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;QUOTED-PRINTABLE:=\r\nBr=c3=bcning;=\r\nMichael\r\nEND:VCARD\r\n",
       {{"lastname", u"Brüning"}, {"FirstName", u"Michael"}}},
      {"lone =0A and =0D become CR LF",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=0Ab=0Dc=0D=0Ad\r\nEND:VCARD\r\n",
       {{"Body", u"a\r\nb\r\nc\r\nd"}}},
      {"cut off mid-escape; a soft break before END does not swallow it",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:X\r\nNOTE;ENCODING=QUOTED-PRINTABLE:abc=4=\r\nEND:VCARD\r\nTEL:9\r\n",
       {{"lastname", u"X"}, {"Body", u"abc=4"}}},
      {"a continuation line starting with # belongs to the value",
       "BEGIN:VCARD\r\nVERSION:2.1\r\n# comment\r\nNOTE;ENCODING=QUOTED-PRINTABLE:(sharp ->=\r\n#<- sharp)\r\n"
       "# comment: too\r\nEND:VCARD\r\n",
       {{"Body", u"(sharp ->#<- sharp)"}}},
  });
}

TEST(VcardLexerTest, Base64DataIsPassedOver) {
  Check({
      {"2.1 block without indent, ended by a blank line",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:A\r\nPHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n /9j/4AAQSkZJRg\r\nAAAAAQAB+/==\r\n\r\n"
       "TEL;HOME:1\r\nEND:VCARD\r\n",
       {{"lastname", u"A"}, {"HomeTelephoneNumber", u"1"}}},
      {"2.1 block not ended by a blank line",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64:\r\n QUFB\r\nQkJC\r\nTEL;HOME:1\r\nEND:VCARD\r\n",
       {{"HomeTelephoneNumber", u"1"}}},
      {"3.0 ENCODING=b and bare BASE64",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b;TYPE=JPEG:QUFB\r\n QkJC\r\nKEY;BASE64:QUFB\r\n  QkJC\r\n"
       "N:B\r\nEND:VCARD\r\n",
       {{"lastname", u"B"}}},
  });
}

// Data lines are passed over many bytes at a time: whatever the length of
// the lines (and so wherever a line end falls in such a block), whatever the
// line end, folded or not, the property after the data is read.
TEST(VcardLexerTest, Base64DataOfEveryLineLength) {
  for (std::string_view eol : {"\r\n", "\n", "\r", "\r\r\n"}) {
    for (std::string_view indent : {" ", "\t", "  ", ""}) {
      for (std::size_t length = 0; length <= 40; ++length) {
        SCOPED_TRACE(testing::Message() << "line end " << testing::PrintToString(std::string(eol)) << ", indent "
                                        << testing::PrintToString(std::string(indent)) << ", length " << length);
        std::string file = "BEGIN:VCARD" + std::string(eol) + "VERSION:2.1" + std::string(eol) +
                           "PHOTO;ENCODING=BASE64;TYPE=JPEG:" + std::string(length % 7, 'Q') + std::string(eol);
        for (std::size_t line = 0; line < 4; ++line) {
          file += std::string(indent) + std::string(length + line, static_cast<char>('A' + line)) + "+/=";
          file += eol;
        }
        // The line after the data starts with base64 characters itself.
        file += "TEL;HOME:1" + std::string(eol) + "N:" + std::string(length, 'x') + std::string(eol) + "END:VCARD";
        file += eol;
        vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file),
                                  {{"HomeTelephoneNumber", u"1"},
                                   {"lastname", std::u16string(length, u'x')}});
      }
    }
  }
}

TEST(VcardLexerTest, Base64DataEdges) {
  Check({
      {"folded data lines may hold any byte; the first unfolded line ends them",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b:QUFB\r\n N:Folded;In\r\n\tTEL;HOME:9\r\nN:Out;Side\r\n"
       "END:VCARD\r\n",
       {{"lastname", u"Out"}, {"FirstName", u"Side"}}},
      {"an empty line inside unindented 2.1 data is data too",
       "BEGIN:VCARD\nVERSION:2.1\nPHOTO;BASE64:\nQUFB\n\nQkJC\n\r\n  \nTEL;WORK:2\nEND:VCARD\n",
       {{"BusinessTelephoneNumber", u"2"}}},
      {"after folded data, a folded line with other bytes once unindented data began is passed over",
       "BEGIN:VCARD\nVERSION:2.1\nPHOTO;BASE64:QUFB\n QkJC\nQ0ND\n a:b\nTEL;WORK:3\nEND:VCARD\n",
       {{"BusinessTelephoneNumber", u"3"}}},
      {"data running to the end of a card without END",
       "BEGIN:VCARD\r\nN:A\r\nPHOTO;ENCODING=b:QUFB\r\n QkJD\r\n QkJD", {{"lastname", u"A"}}},
      {"a CR CR LF line end inside folded data",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b:QUFB\r\r\n QkJD\r\r\n QkJD\r\r\nN:C\r\r\nEND:VCARD\r\r\n",
       {{"lastname", u"C"}}},
      {"a lone CR then CR LF inside folded data ends it with an empty line",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b:QUFB\r\r\n QkJD\r\r\r\n N:D\r\nN:E\r\nEND:VCARD\r\n",
       {{"lastname", u"E"}}},
  });
}

// Names and parameters are scanned many bytes at a time: groups, quoted
// parameter values holding ':' ';' and '.', and headers folded in the middle
// read the same whatever their length.
TEST(VcardLexerTest, HeadersOfEveryLength) {
  for (std::size_t length = 0; length <= 40; ++length) {
    SCOPED_TRACE(testing::Message() << "length " << length);
    const std::string group = "g" + std::string(length, 'x');
    const std::string pad(length, 'p');
    const std::string fold = length % 2 ? "\r\n " : "";
    const std::string file = "BEGIN:VCARD\r\nVERSION:3.0\r\n" + group + ".TEL;X-" + pad + "=\"a.b:c;d\";TYPE=fax:1\r\n" +
                             group + ".X-ABLabel:_$!<Home>!$_\r\nN;X-" + pad + "=\"" + pad + ":\":" + pad + "L;F\r\n" +
                             "TEL;TY" + fold + "PE=wo" + fold + "rk;X-" + pad + fold + "=\":\":2\r\nEND:VCARD\r\n";
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), {{"HomeFaxNumber", u"1"},
                                                               {"lastname", std::u16string(length, u'p') + u"L"},
                                                               {"FirstName", u"F"},
                                                               {"BusinessTelephoneNumber", u"2"}});
  }
}

// Line breaks are made CR LF in every column, wherever they come from:
// decoded quoted-printable, a SORT-AS ^n, and a note cut at the length
// limit between the CR and the LF that joins two notes.
TEST(VcardLexerTest, LineBreaksFromEverySource) {
  Check({
      {"a lone LF from a SORT-AS escape",
       "BEGIN:VCARD\r\nVERSION:4.0\r\nN;SORT-AS=\"a^nb,c\":L;F\r\nTEL;TYPE=home:1\r\nEND:VCARD\r\n",
       {{"lastname", u"L"}, {"FirstName", u"F"}, {"YomiLastName", u"a\r\nb"}, {"YomiFirstName", u"c"},
        {"HomeTelephoneNumber", u"1"}}},
      {"a lone CR from quoted-printable in an address, other fields plain",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:L\r\nADR;HOME;ENCODING=QUOTED-PRINTABLE:;;a=0Db;c\r\nNOTE:x\r\nEND:VCARD\r\n",
       {{"lastname", u"L"}, {"HomeAddressStreet", u"a\r\nb"}, {"HomeAddressCity", u"c"}, {"Body", u"x"}}},
  });
  const std::string first_note(vcard::kMaxTextLength - 1, 'x');
  const std::string file = "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:" + first_note + "\r\nNOTE:y\r\nEND:VCARD\r\n";
  EXPECT_EQ(vcard_test::ColumnText(vcard_test::ReadOnlyCard(file), om::kBody),
            std::u16string(first_note.size(), u'x') + u"\r\n");
}

TEST(VcardLexerTest, EscapesAndCase) {
  Check({
      {"3.0 escapes", "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:a\\nb\\Nc\\,d\\;e\\\\f \\\"g\\\" C:\\temp\r\nEND:VCARD\r\n",
       {{"Body", u"a\r\nb\r\nc,d;e\\f \"g\" C:\\temp"}}},
      {"escaped separators in components", "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Doe\\;Smith;John\\, Jr\r\nEND:VCARD\r\n",
       {{"lastname", u"Doe;Smith"}, {"FirstName", u"John, Jr"}}},
      {"2.1 text keeps backslashes; \\; still escapes in components",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;A\\;B\\\\;C\\\\\\;;D;\\:E\r\nNOTE:C:\\new\\n\r\nEND:VCARD\r\n",
       {{"FirstName", u"A;B\\"}, {"Title", u"D"}, {"Suffix", u":E"}, {"Body", u"C:\\new\\n"}}},
      {"names and parameters without case",
       "begin:vcard\r\nversion:3.0\r\nn;charset=utf-8:D;J\r\ntel;type=HOME:1\r\nItem1.Tel:2\r\n"
       "ITEM1.x-ablabel:_$!<Pager>!$_\r\nend:vcard\r\n",
       {{"lastname", u"D"}, {"FirstName", u"J"}, {"HomeTelephoneNumber", u"1"}, {"PagerNumber", u"2"}}},
      {"malformed parameter syntax still reads",
       "BEGIN:VCARD\nVERSION:3.0\nN;:X;Y\nTEL;TYPE=home;;X-P=1;:5\nTEL;TYPE=\"home,voice\":6\nEND:VCARD\n",
       {{"lastname", u"X"}, {"FirstName", u"Y"}, {"HomeTelephoneNumber", u"5"}, {"Home2TelephoneNumber", u"6"}}},
  });
}

}  // namespace
