#include "csv/field_encoding.h"

#include <gtest/gtest.h>

#include <memory>

#include "om/result_codes.h"
#include "text/codepage932.h"
#include "csv/csv_file.h"
#include "text/native_path.h"
#include "support/test_files.h"

namespace {

struct FieldCase {
  std::u16string value;
  std::u16string flattened;
  std::u16string quoted;  // QuoteField(flattened)
};

const FieldCase kCases[] = {
    {u"", u"", u"\"\""},
    {u"a\r\nb", u"a b", u"\"a b\""},
    {u"\n\r", u" ", u"\" \""},
    {u"\r\r", u"  ", u"\"  \""},
    {u"\"", u"\"", u"\"\"\"\""},
    {u"a,b", u"a,b", u"\"a,b\""},
    {u"tab\there\x01", u"tab\there\x01", u"\"tab\there\x01\""},
    {u"\xD83D\xDE00", u"\xD83D\xDE00", u"\"\xD83D\xDE00\""},  // a pair passes as two units
};

TEST(FieldEncoding, FlattensLineBreaksAndQuotes) {
  for (const FieldCase& c : kCases) {
    EXPECT_EQ(csv::ReplaceLineBreaks(c.value), c.flattened);
    EXPECT_EQ(csv::QuoteField(c.flattened), c.quoted);
    std::u16string line = u"x";
    csv::AppendEncodedField(c.value, line);
    EXPECT_EQ(line, u"x" + c.quoted) << "one-pass form differs";
  }
}

// The bytes a field must give: the text form quoted and flattened, then
// converted as a whole.
std::string ExpectedFieldBytes(std::u16string_view value) {
  std::string bytes;
  cp932::Encode(csv::QuoteField(csv::ReplaceLineBreaks(value)), bytes);
  return bytes;
}

// EncodeFieldTo into exactly the room it asks for (so that the sanitizers see
// any write past it).
std::string FieldBytes(std::u16string_view value) {
  const std::size_t room = csv::EncodedFieldRoom(value.size());
  const auto buffer = std::make_unique<char[]>(room);
  char* const end = csv::EncodeFieldTo(value, buffer.get());
  EXPECT_LE(static_cast<std::size_t>(end - buffer.get()), room);
  return std::string(buffer.get(), end);
}

TEST(FieldEncoding, BytesOfAFieldMatchTheTextFormConverted) {
  for (const FieldCase& c : kCases) EXPECT_EQ(FieldBytes(c.value), ExpectedFieldBytes(c.value));
  // A run of plain ASCII ending, at each length past two blocks, at each unit
  // the fast paths stop for: CR, LF, CR LF, a quote, a two-byte and a
  // one-byte character, lone surrogate halves, a unit without an entry; then
  // more of the same or nothing.
  const std::u16string stops[] = {u"\r", u"\n", u"\r\n", u"\"", u"\"\"", u"日", u"ｱ",
                                  std::u16string(1, char16_t{0xD800}),
                                  std::u16string(1, char16_t{0xDFFF}), u"\u0100", u"\uFFFF"};
  for (const std::u16string& stop : stops) {
    for (std::size_t before = 0; before <= 18; ++before) {
      for (const std::u16string& rest : {std::u16string(), std::u16string(u"x"), stop + u"1-1-1",
                                         std::u16string(9, u'y') + stop, u"丸の内" + stop}) {
        const std::u16string value = std::u16string(before, u'a') + stop + rest;
        ASSERT_EQ(FieldBytes(value), ExpectedFieldBytes(value)) << before;
      }
    }
  }
  // Every code unit, alone and inside one long value after ASCII runs of
  // every length up to a block, so that each is met both one at a time and
  // in a block with plain ASCII.
  std::u16string all;
  for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
    const std::u16string alone(1, static_cast<char16_t>(unit));
    ASSERT_EQ(FieldBytes(alone), ExpectedFieldBytes(alone)) << std::hex << unit;
    all.append(unit % 9, u'k');
    all += alone;
  }
  EXPECT_EQ(FieldBytes(all), ExpectedFieldBytes(all));
  // Values that take all the room: only quotes, only two-byte characters.
  for (std::size_t n = 1; n <= 20; ++n) {
    for (char16_t unit : {u'"', u'日', u'\r', u'\n'}) {
      const std::u16string value(n, unit);
      ASSERT_EQ(FieldBytes(value), ExpectedFieldBytes(value)) << n;
    }
  }
}

TEST(CsvFile, LineHasOneCommaBetweenFieldsAndIsClearedOnlyOnRequest) {
  csv::CsvClearLine();
  csv::CsvAddField(u"");
  csv::CsvAddField(u"a\"b");
  csv::CsvAddField(u"");
  EXPECT_EQ(csv::CsvLine(), u"\"\",\"a\"\"b\",\"\"");
  csv::CsvClearLine();
  EXPECT_EQ(csv::CsvLine(), u"");
  csv::CsvAddField(u"日\r\n");
  csv::CsvAddField(u"");
  EXPECT_EQ(csv::CsvLineBytes(), "\"\x93\xFA \",\"\"");
}

TEST(CsvFile, LinesLongAndShortAcrossWriteBlocksComeOutWhole) {
  // Lines of many lengths, one far longer than a write block and than any
  // line before it, so that both the line and the pending block grow and
  // blocks end inside, at and after lines.
  testfiles::TempDir dir;
  const auto path = dir / "out.csv";
  ASSERT_EQ(csv::CsvOpen(path.u16string()), om::RC_OK);
  std::string expected;
  for (int line = 0; line < 400; ++line) {
    csv::CsvClearLine();
    std::string bytes;
    const std::size_t fields = line == 200 ? 3 : 1 + line % 55;
    for (std::size_t f = 0; f < fields; ++f) {
      std::u16string value;
      if (line == 200 && f == 1) {
        value.assign(100000, u'日');
      } else {
        for (std::size_t i = 0; i < (line * 7 + f * 3) % 40; ++i) value += u"a日\"\r\n0ｱ"[(line + i) % 7];
      }
      csv::CsvAddField(value);
      bytes += (f == 0 ? "" : ",") + ExpectedFieldBytes(value);
    }
    ASSERT_EQ(csv::CsvLineBytes(), bytes) << line;
    expected += bytes + "\r\n";
    ASSERT_EQ(csv::CsvWriteLine(), om::RC_OK);
  }
  ASSERT_EQ(csv::CsvClose(), om::RC_OK);
  EXPECT_EQ(testfiles::ReadBytes(path), expected);
}

TEST(CsvFile, WritesCrLfLinesInCodePage932) {
  testfiles::TempDir dir;
  const auto path = dir / "out.csv";
  ASSERT_EQ(csv::CsvOpen(path.u16string()), om::RC_OK);
  csv::CsvClearLine();
  csv::CsvAddField(u"ｱ日");
  ASSERT_EQ(csv::CsvWriteLine(), om::RC_OK);
  ASSERT_EQ(csv::CsvWriteLine(), om::RC_OK);  // the line is not emptied by writing
  ASSERT_EQ(csv::CsvClose(), om::RC_OK);
  EXPECT_EQ(testfiles::ReadBytes(path), "\"\xB1\x93\xFA\"\r\n\"\xB1\x93\xFA\"\r\n");
}

TEST(NativePath, BytesThatAreNotUtf8ComeBackUnchanged) {
  const std::string paths[] = {"/tmp/plain.csv", "/tmp/\xE6\x97\xA5\xE6\x9C\xAC.csv",
                               "/tmp/\x93\xFA\x96\x7B.csv", "/tmp/\xF0\x9F\x98\x80\xC0\xAF\xFF",
                               "/tmp/\xED\xA0\x80"};
  for (const std::string& bytes : paths) {
    EXPECT_EQ(text::PathTextToBytes(text::PathTextFromBytes(bytes)), bytes);
  }
  EXPECT_EQ(text::PathTextFromBytes("\xE6\x97\xA5"), u"日");
  EXPECT_EQ(text::PathTextFromBytes("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
}

}  // namespace
