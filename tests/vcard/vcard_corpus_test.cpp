// The vCard reader over real files that address books and vCard libraries
// keep as test data: every card found and read, and one card of each
// dialect checked field by field against the file as read by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "vcard/vcard_test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(CONTACT_EXPORT_DATA_DIR) / "vcard-samples";

// The corpus is part of every clone: a missing one fails the test.
#define REQUIRE_CORPUS() ASSERT_TRUE(fs::is_directory(kCorpus)) << "test data missing: " << kCorpus

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

vcard::Card CardOf(const char* relative, std::size_t index = 0) {
  const std::string file = ReadFile(kCorpus / relative);
  const std::vector<vcard::CardExtent> cards = vcard::FindCards(file);
  EXPECT_GT(cards.size(), index) << relative;
  if (cards.size() <= index) return {};
  return vcard::ReadCard(file, cards[index]).value_or(vcard::Card{});
}

TEST(VcardCorpusTest, EveryCardIsFoundAndRead) {
  REQUIRE_CORPUS();
  std::size_t files = 0, cards = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    ++files;
    const std::string file = ReadFile(entry.path());
    for (const vcard::CardExtent& extent : vcard::FindCards(file)) {
      ++cards;
      std::optional<vcard::Card> card = vcard::ReadCard(file, extent);
      ASSERT_TRUE(card.has_value()) << entry.path() << " at " << extent.offset;
      for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
        const std::u16string text = vcard_test::ColumnText(*card, column);
        EXPECT_TRUE(text != u"<not a text>" && text != u"<not a date>") << entry.path() << " column " << column;
      }
    }
  }
  // The corpus's own census: 78 files holding 1130 BEGIN:VCARD lines, none
  // of them an AGENT's card.
  EXPECT_EQ(files, 78u);
  EXPECT_EQ(cards, 1130u);
}

constexpr std::u16string_view kDisclaimer =
    u"THIS SOFTWARE IS PROVIDED BY THE COPYRIGHT HOLDERS AND CONTRIBUTORS \"AS IS\" AND ANY EXPRESS OR IMPLIED "
    u"WARRANTIES, INCLUDING, BUT NOT LIMITED TO, THE IMPLIED WARRANTIES OF MERCHANTABILITY AND FITNESS FOR A "
    u"PARTICULAR PURPOSE ARE DISCLAIMED. IN NO EVENT SHALL THE COPYRIGHT HOLDER OR CONTRIBUTORS BE LIABLE FOR ANY "
    u"DIRECT, INDIRECT, INCIDENTAL, SPECIAL, EXEMPLARY, OR CONSEQUENTIAL DAMAGES (INCLUDING, BUT NOT LIMITED TO, "
    u"PROCUREMENT OF SUBSTITUTE GOODS OR SERVICES; LOSS OF USE, DATA, OR PROFITS; OR BUSINESS INTERRUPTION) HOWEVER "
    u"CAUSED AND ON ANY THEORY OF LIABILITY, WHETHER IN CONTRACT, STRICT LIABILITY, OR TORT (INCLUDING NEGLIGENCE OR "
    u"OTHERWISE) ARISING IN ANY WAY OUT OF THE USE OF THIS SOFTWARE, EVEN IF ADVISED OF THE POSSIBILITY OF SUCH "
    u"DAMAGE.";

TEST(VcardCorpusTest, Outlook21QuotedPrintable) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("ez-vcard/outlook-2003.vcf"),
      {{"lastname", u"Doe"}, {"FirstName", u"John"}, {"Title", u"Mr."}, {"Suffix", u"III"},
       {"FileAs", u"John Doe III"}, {"NickName", u"Joey"}, {"CompanyName", u"Company, The"},
       {"Department", u"TheDepartment"}, {"JobTitle", u"The Job Title"},
       {"Body", u"This is the note field!!\r\nSecond line\r\n\r\nThird line is empty\r\n"},
       {"BusinessTelephoneNumber", u"BusinessPhone"}, {"HomeTelephoneNumber", u"HomePhone"},
       {"MobileTelephoneNumber", u"MobilePhone"}, {"BusinessFaxNumber", u"BusinessFaxPhone"},
       {"OfficeLocation", u"TheOffice"}, {"BusinessAddressStreet", u"123 Main St"}, {"BusinessAddressCity", u"Austin"},
       {"BusinessAddressState", u"TX"}, {"BusinessAddressPostalCode", u"12345"},
       {"BusinessAddressCountry", u"United States of America"}, {"BusinessHomePage", u"http://web-page-address.com"},
       {"Profession", u"TheProfession"}, {"Birthday", u"1980-03-21"}});
}

TEST(VcardCorpusTest, AppleItemGroups) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("ez-vcard/John_Doe_IPHONE.vcf"),
      {{"lastname", u"Doe"}, {"FirstName", u"John"}, {"Title", u"Mr."}, {"Suffix", u"Sr."},
       {"FileAs", u"Mr. John Richter James Doe Sr."}, {"NickName", u"Johny"}, {"CompanyName", u"IBM"},
       {"Department", u"Accounting"}, {"JobTitle", u"Money Counter"}, {"MobileTelephoneNumber", u"905-555-1234"},
       {"HomeTelephoneNumber", u"905-666-1234"}, {"BusinessTelephoneNumber", u"905-777-1234"},
       {"HomeFaxNumber", u"905-888-1234"}, {"BusinessFaxNumber", u"905-999-1234"}, {"PagerNumber", u"905-111-1234"},
       {"AssistantTelephoneNumber", u"905-222-1234"}, {"HomeAddressStreet", u"Silicon Alley 5,"},
       {"HomeAddressCity", u"New York"}, {"HomeAddressState", u"New York"}, {"HomeAddressPostalCode", u"12345"},
       {"HomeAddressCountry", u"United States of America"}, {"BusinessAddressStreet", u"Street4\r\nBuilding 6\r\nFloor 8"},
       {"BusinessAddressCity", u"New York"}, {"BusinessAddressPostalCode", u"12345"}, {"BusinessAddressCountry", u"USA"},
       {"PersonalHomePage", u"http://www.ibm.com"}, {"Birthday", u"2012-06-06"}});
}

TEST(VcardCorpusTest, Google) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("ez-vcard/John_Doe_GMAIL.vcf"),
      {{"lastname", u"Doe"}, {"FirstName", u"John"}, {"Title", u"Mr."}, {"Suffix", u"Sr."},
       {"FileAs", u"Mr. John Richter, James Doe Sr."}, {"YomiFirstName", u"Jon"}, {"YomiLastName", u"Dow"},
       {"MobileTelephoneNumber", u"905-555-1234"}, {"HomeTelephoneNumber", u"905-666-1234"},
       {"HomeAddressStreet", u"Crescent moon drive\r\n555-asd\r\nNice Area, Albaney, New York 12345\r\nUnited States of America"},
       {"CompanyName", u"IBM"}, {"JobTitle", u"Money Counter"}, {"Birthday", u"1980-03-22"},
       {"BusinessHomePage", u"http://www.ibm.com"}, {"Anniversary", u"1975-03-01"},
       {"Body", std::u16string(kDisclaimer) + u"\r\nFavotire Color: Blue"}});
}

TEST(VcardCorpusTest, Evolution) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("ez-vcard/John_Doe_EVOLUTION.vcf"),
      {{"PersonalHomePage", u"http://www.ibm.com"}, {"MobileTelephoneNumber", u"905-666-1234"},
       {"BusinessTelephoneNumber", u"905-555-1234"}, {"lastname", u"Doe"}, {"FirstName", u"John"},
       {"Title", u"Mr."}, {"Suffix", u"Sr."}, {"FileAs", u"Doe, John"}, {"NickName", u"Johny"},
       {"CompanyName", u"IBM"}, {"Department", u"Accounting"}, {"OfficeLocation", u"Dungeon"},
       {"JobTitle", u"Money Counter"}, {"ManagerName", u"Big Blue"}, {"AssistantName", u"Little Red"},
       {"Body", std::u16string(kDisclaimer)}, {"HomeAddressStreet", u"15 Crescent moon drive"},
       {"HomeAddressCity", u"Albaney"}, {"HomeAddressState", u"New York"}, {"HomeAddressPostalCode", u"12345"},
       {"HomeAddressCountry", u"United States of America"}, {"Birthday", u"1980-03-22"},
       {"Anniversary", u"1980-03-22"}});
}

TEST(VcardCorpusTest, JapaneseFeaturePhones) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("android/v21_japanese_2.vcf"),
      {{"FileAs", u"安藤 ロイド 1"}, {"lastname", u"安藤"}, {"FirstName", u"ロイド1"}, {"YomiLastName", u"ｱﾝﾄﾞｳ"},
       {"YomiFirstName", u"ﾛｲﾄﾞ1"}, {"HomeAddressStreet", u"東京都渋谷区桜丘町26-1セルリアンタワー6階"},
       {"HomeAddressPostalCode", u"150-8512"}, {"Body", u"メモ"}});
  // Trail bytes 0x5C, which is the backslash.
  vcard_test::ExpectColumns(CardOf("android/v21_japanese_3.vcf"),
                            {{"FileAs", u"伊能 圭一 伊予"}, {"lastname", u"伊能"}, {"FirstName", u"圭一"}});
}

TEST(VcardCorpusTest, Version4) {
  REQUIRE_CORPUS();
  const vcard::Card holmes = CardOf("kcontacts/testfullvcard.vcf");
  EXPECT_EQ(holmes.kind, vcard::CardKind::kContact);
  vcard_test::ExpectColumns(
      holmes, {{"FileAs", u"Sherlock Holmes"}, {"HomeTelephoneNumber", u"+44-555-555-5555;ext=5555"},
               {"MobileTelephoneNumber", u"+44-555-555-6666"}, {"BusinessTelephoneNumber", u"+44-555-555-7777"},
               {"lastname", u"Holmes"}, {"FirstName", u"Sherlock"}, {"Title", u"Mr"}, {"NickName", u"Shirley"},
               {"Birthday", u"1953-10-15"}, {"Anniversary", u"1996-04-15"}, {"OtherAddressStreet", u"221B Baker Street"},
               {"OtherAddressCity", u"London"}, {"OtherAddressPostalCode", u"NW1"},
               {"OtherAddressCountry", u"United Kingdom"}, {"JobTitle", u"Detective"}, {"Profession", u"Detective"},
               {"PersonalHomePage", u"https://sherlockholmes.com"}});
  vcard_test::ExpectColumns(
      CardOf("android/v40_sort_as.vcf"),
      {{"FileAs", u"安藤 ロイド"}, {"lastname", u"安藤"}, {"FirstName", u"ロイド"}, {"YomiLastName", u"あんどう"},
       {"YomiFirstName", u"ろいど"}, {"CompanyName", u"グーグル"}, {"Department", u"検索部門"},
       {"YomiCompanyName", u"ぐーぐる"}});
  EXPECT_EQ(CardOf("rcmcarddav/Group.vcf").kind, vcard::CardKind::kGroup);
}

TEST(VcardCorpusTest, CharsetNamedByAnotherPropertyOfTheCard) {
  REQUIRE_CORPUS();
  // Windows-1251 bytes in FN, N and ADR; only the LABEL names the charset.
  vcard_test::ExpectColumns(CardOf("folkerkinzel-vcards/Ukrainian.vcf"),
                            {{"FileAs", u"Віталій Володимирович Кличко"}, {"lastname", u"Кличко"},
                             {"FirstName", u"Віталій"}, {"OtherAddressCity", u"Київ"}});
}

TEST(VcardCorpusTest, Utf16WithByteOrderMark) {
  REQUIRE_CORPUS();
  vcard_test::ExpectColumns(
      CardOf("folkerkinzel-vcards/v3Utf16Bom.vcf", 0),
      {{"FileAs", u"Folker Kinzel"}, {"lastname", u"Kinzel"}, {"FirstName", u"Folker"},
       {"OtherTelephoneNumber", u"0123-45678"}, {"OtherAddressStreet", u"Berliner Str. 85"},
       {"OtherAddressCity", u"Halle"}, {"OtherAddressPostalCode", u"06789"}, {"OtherAddressCountry", u"DE"},
       {"Birthday", u"1978-03-11"}, {"PersonalHomePage", u"www.folker-kinzel.de"}});
  vcard_test::ExpectColumns(
      CardOf("folkerkinzel-vcards/v3Utf16Bom.vcf", 1),
      {{"FileAs", u"KMS Außenstelle"}, {"lastname", u"KMS"}, {"FirstName", u"WSF"},
       {"HomeTelephoneNumber", u"03443-303776"}, {"HomeFaxNumber", u"03443-333440"},
       {"CompanyName", u"KMS Außenstelle"}});
}

}  // namespace
