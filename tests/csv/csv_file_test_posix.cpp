// Write failures, made with /dev/full (every write fails with "no space").
#include <gtest/gtest.h>

#include "om/result_codes.h"
#include "csv/csv_file.h"
#include "export/export_contacts.h"
#include "support/fake_object_model.h"

namespace {

TEST(CsvFileFailures, LineWriteFailsOnceABlockCannotBeWrittenAndCloseReportsTheRest) {
  ASSERT_EQ(csv::CsvOpen(u"/dev/full"), om::RC_OK);
  csv::CsvClearLine();
  csv::CsvAddField(std::u16string(1000, u'x'));
  int result = om::RC_OK;
  int lines = 0;
  while (result == om::RC_OK && lines < 1000) {
    result = csv::CsvWriteLine();
    ++lines;
  }
  EXPECT_EQ(result, om::RC_FILE_WRITE_FAILED);
  EXPECT_LT(lines, 100);  // within the first block of 64 KiB

  ASSERT_EQ(csv::CsvOpen(u"/dev/full"), om::RC_OK);
  ASSERT_EQ(csv::CsvWriteLine(), om::RC_OK);  // still buffered
  EXPECT_EQ(csv::CsvClose(), om::RC_FILE_CLOSE_FAILED);
}

TEST(CsvFileFailures, ExportWhoseLineWriteFailsEndsWith56) {
  std::vector<om::Handle> many;
  for (int i = 0; i < 3000; ++i) many.push_back(fake::Contact({{"lastname", std::u16string(u"A")}}));
  EXPECT_EQ(exporter::ExportContacts(u"/dev/full", fake::MakeProfile(fake::Folder(many)).nameSpace),
            om::RC_EXPORT_FAILED);
}

}  // namespace
