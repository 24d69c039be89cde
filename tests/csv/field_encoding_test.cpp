#include "csv/field_encoding.h"

#include <gtest/gtest.h>

#include "app/result_codes.h"
#include "csv/csv_file.h"
#include "csv/native_path.h"
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

TEST(CsvFile, LineHasOneCommaBetweenFieldsAndIsClearedOnlyOnRequest) {
  csv::CsvClearLine();
  csv::CsvAddField(u"");
  csv::CsvAddField(u"a\"b");
  csv::CsvAddField(u"");
  EXPECT_EQ(csv::CsvLine(), u"\"\",\"a\"\"b\",\"\"");
  csv::CsvClearLine();
  EXPECT_EQ(csv::CsvLine(), u"");
}

TEST(CsvFile, WritesCrLfLinesInCodePage932) {
  testfiles::TempDir dir;
  const auto path = dir / "out.csv";
  ASSERT_EQ(csv::CsvOpen(path.u16string()), app::RC_OK);
  csv::CsvClearLine();
  csv::CsvAddField(u"ｱ日");
  ASSERT_EQ(csv::CsvWriteLine(), app::RC_OK);
  ASSERT_EQ(csv::CsvWriteLine(), app::RC_OK);  // the line is not emptied by writing
  ASSERT_EQ(csv::CsvClose(), app::RC_OK);
  EXPECT_EQ(testfiles::ReadBytes(path), "\"\xB1\x93\xFA\"\r\n\"\xB1\x93\xFA\"\r\n");
}

TEST(NativePath, BytesThatAreNotUtf8ComeBackUnchanged) {
  const std::string paths[] = {"/tmp/plain.csv", "/tmp/\xE6\x97\xA5\xE6\x9C\xAC.csv",
                               "/tmp/\x93\xFA\x96\x7B.csv", "/tmp/\xF0\x9F\x98\x80\xC0\xAF\xFF",
                               "/tmp/\xED\xA0\x80"};
  for (const std::string& bytes : paths) {
    EXPECT_EQ(csv::PathTextToBytes(csv::PathTextFromBytes(bytes)), bytes);
  }
  EXPECT_EQ(csv::PathTextFromBytes("\xE6\x97\xA5"), u"日");
  EXPECT_EQ(csv::PathTextFromBytes("\xF0\x9F\x98\x80"), u"\xD83D\xDE00");
}

}  // namespace
