// Each row of the vCard-to-contact mapping: card text in, all 55 columns
// checked (columns a case does not list must stay empty).
#include <gtest/gtest.h>

#include <string>

#include "vcard/vcard_test_support.h"

namespace {

using vcard_test::Expected;

struct MappingCase {
  const char* what;
  std::string_view version;
  std::string body;  // content lines between VERSION and END
  Expected expected;
};

void Check(const std::vector<MappingCase>& cases) {
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = "BEGIN:VCARD\r\nVERSION:" + std::string(c.version) + "\r\n" + c.body + "END:VCARD\r\n";
    vcard_test::ExpectColumns(vcard_test::ReadOnlyCard(file), c.expected);
  }
}

TEST(VcardMappingTest, NamesAndFileAs) {
  Check({
      {"N parts; TITLE is the job title", "3.0", "N:Doe;John;Q.;Dr.;Jr.\nTITLE:Boss\n",
       {{"lastname", u"Doe"}, {"FirstName", u"John"}, {"Title", u"Dr."}, {"Suffix", u"Jr."}, {"JobTitle", u"Boss"}}},
      {"first N wins", "3.0", "N:First;A\nN:Second;B;;X\n", {{"lastname", u"First"}, {"FirstName", u"A"}}},
      {"X-EVOLUTION-FILE-AS before FN", "3.0", "FN:John Doe\nX-EVOLUTION-FILE-AS:Doe\\, John\nORG:Acme\n",
       {{"FileAs", u"Doe, John"}, {"CompanyName", u"Acme"}}},
      {"FN before ORG", "3.0", "ORG:Acme\nFN:John Doe\n", {{"FileAs", u"John Doe"}, {"CompanyName", u"Acme"}}},
      {"ORG part 1 when FN is empty", "3.0", "FN:\nORG:Acme;Sales;Room 5\n",
       {{"FileAs", u"Acme"}, {"CompanyName", u"Acme"}, {"Department", u"Sales"}, {"OfficeLocation", u"Room 5"}}},
  });
}

TEST(VcardMappingTest, Readings) {
  Check({
      {"X-PHONETIC beats SORT-AS", "3.0",
       "N;SORT-AS=\"sl,sf\":L;F\nX-PHONETIC-LAST-NAME:xl\nX-PHONETIC-FIRST-NAME:xf\n",
       {{"lastname", u"L"}, {"FirstName", u"F"}, {"YomiLastName", u"xl"}, {"YomiFirstName", u"xf"}}},
      {"SORT-AS with commas", "4.0", "N;SORT-AS=\"Harten,Rene\":van Harten;Rene\n",
       {{"lastname", u"van Harten"}, {"FirstName", u"Rene"}, {"YomiLastName", u"Harten"}, {"YomiFirstName", u"Rene"}}},
      {"SORT-AS with semicolons", "4.0", "N;SORT-AS=\"あんどう;ろいど\":安藤;ロイド\n",
       {{"lastname", u"安藤"}, {"FirstName", u"ロイド"}, {"YomiLastName", u"あんどう"}, {"YomiFirstName", u"ろいど"}}},
      {"PHONETIC N is a reading, not the name", "4.0",
       "N;ALTID=1;PHONETIC=script;SCRIPT=Kana:ヤマダ;タロウ\nN;ALTID=1;LANGUAGE=ja:山田;太郎\n",
       {{"lastname", u"山田"}, {"FirstName", u"太郎"}, {"YomiLastName", u"ヤマダ"}, {"YomiFirstName", u"タロウ"}}},
      {"SCRIPT=Kana alone", "4.0", "N:山田;太郎\nN;SCRIPT=Kana:ヤマダ;タロウ\n",
       {{"lastname", u"山田"}, {"FirstName", u"太郎"}, {"YomiLastName", u"ヤマダ"}, {"YomiFirstName", u"タロウ"}}},
      {"SOUND;X-IRMC-N parts", "2.1", "SOUND;X-IRMC-N:ﾔﾏﾀﾞ;ﾀﾛｳ;;;\n",
       {{"YomiLastName", u"ﾔﾏﾀﾞ"}, {"YomiFirstName", u"ﾀﾛｳ"}}},
      {"SOUND;X-IRMC-N split at the space", "2.1", "SOUND;X-IRMC-N:ﾔﾏﾀﾞ ﾀﾛｳ;;;;\n",
       {{"YomiLastName", u"ﾔﾏﾀﾞ"}, {"YomiFirstName", u"ﾀﾛｳ"}}},
      {"SORT-AS beats SOUND; plain SOUND is no reading", "3.0", "SOUND:x.wav\nSOUND;TYPE=X-IRMC-N:c;d\nN;SORT-AS=\"a,b\":L\n",
       {{"lastname", u"L"}, {"YomiLastName", u"a"}, {"YomiFirstName", u"b"}}},
      {"ORG SORT-AS", "4.0", "ORG;SORT-AS=\"ぐーぐる\":グーグル\n",
       {{"CompanyName", u"グーグル"}, {"FileAs", u"グーグル"}, {"YomiCompanyName", u"ぐーぐる"}}},
      {"X-PHONETIC-ORG beats ORG SORT-AS", "4.0", "ORG;SORT-AS=\"x\":C\nX-PHONETIC-ORG:y\n",
       {{"CompanyName", u"C"}, {"FileAs", u"C"}, {"YomiCompanyName", u"y"}}},
  });
}

TEST(VcardMappingTest, Addresses) {
  Check({
      {"home, work and other with extended components", "3.0",
       "ADR;TYPE=home:PO1;Bldg H;1 Home St;HCity;HState;H-100;HCountry\n"
       "ADR;TYPE=work:;Office 12;2 Work St;WCity;WState;W-200;WCountry\n"
       "ADR;TYPE=postal:;Flat 3;3 Other St;OCity;OState;O-300;OCountry\n",
       {{"HomeAddressStreet", u"Bldg H\r\n1 Home St"}, {"HomeAddressCity", u"HCity"}, {"HomeAddressState", u"HState"},
        {"HomeAddressPostalCode", u"H-100"}, {"HomeAddressCountry", u"HCountry"},
        {"BusinessAddressStreet", u"2 Work St"}, {"BusinessAddressCity", u"WCity"}, {"BusinessAddressState", u"WState"},
        {"BusinessAddressPostalCode", u"W-200"}, {"BusinessAddressCountry", u"WCountry"}, {"OfficeLocation", u"Office 12"},
        {"OtherAddressStreet", u"Flat 3\r\n3 Other St"}, {"OtherAddressCity", u"OCity"}, {"OtherAddressState", u"OState"},
        {"OtherAddressPostalCode", u"O-300"}, {"OtherAddressCountry", u"OCountry"}}},
      {"2.1 bare types; first of a kind wins; untyped is other", "2.1",
       "ADR;HOME:;;a;b;;;\nADR;HOME:;;late;;;;\nADR;WORK;PREF:;;c;;;;\nADR;DOM;PARCEL:;;e;;;;\n",
       {{"HomeAddressStreet", u"a"}, {"HomeAddressCity", u"b"}, {"BusinessAddressStreet", u"c"},
        {"OtherAddressStreet", u"e"}}},
      {"extended without street; both home and work", "3.0", "ADR;TYPE=home,work:;Bldg;;City;;;\n",
       {{"HomeAddressStreet", u"Bldg"}, {"HomeAddressCity", u"City"}, {"BusinessAddressCity", u"City"},
        {"OfficeLocation", u"Bldg"}}},
      {"office from ADR;work beats ORG part 3", "3.0", "ORG:Acme;Dept;Org Office\nADR;TYPE=work:;Adr Office;;;;;\n",
       {{"CompanyName", u"Acme"}, {"FileAs", u"Acme"}, {"Department", u"Dept"}, {"OfficeLocation", u"Adr Office"}}},
  });
}

TEST(VcardMappingTest, TextProperties) {
  Check({
      {"ORG, TITLE, ROLE, NICKNAME", "3.0", "ORG:Acme\\;Co;Sales\nTITLE:Engineer\nROLE:Builder\nNICKNAME:Bob\n",
       {{"CompanyName", u"Acme;Co"}, {"FileAs", u"Acme;Co"}, {"Department", u"Sales"}, {"JobTitle", u"Engineer"},
        {"Profession", u"Builder"}, {"NickName", u"Bob"}}},
      {"NICKNAME beats an earlier X-NICKNAME", "3.0", "X-NICKNAME:Bobby\nNICKNAME:Bob\n", {{"NickName", u"Bob"}}},
      {"X-NICKNAME alone", "3.0", "X-NICKNAME:Bobby\n", {{"NickName", u"Bobby"}}},
      {"NOTEs joined with CR LF", "3.0", "NOTE:one\nNOTE:\nNOTE:two\\nthree\n", {{"Body", u"one\r\ntwo\r\nthree"}}},
      {"managers and assistants, Outlook first", "3.0",
       "X-EVOLUTION-MANAGER:m2\nX-MS-MANAGER:m1\nX-EVOLUTION-ASSISTANT:a2\nX-MS-ASSISTANT:a1\n",
       {{"ManagerName", u"m1"}, {"AssistantName", u"a1"}}},
      {"Evolution and KDE forms", "3.0", "X-EVOLUTION-MANAGER:m2\nX-KADDRESSBOOK-X-AssistantsName:a3\n",
       {{"ManagerName", u"m2"}, {"AssistantName", u"a3"}}},
      {"Apple related names by label", "3.0",
       "item3.X-ABRELATEDNAMES:Jenny\nitem3.X-ABLabel:_$!<Spouse>!$_\n"
       "item1.X-ABRELATEDNAMES:Boss\nitem1.X-ABLabel:_$!<Manager>!$_\n"
       "item2.X-ABLabel:_$!<Assistant>!$_\nitem2.X-ABRELATEDNAMES:Helper\n",
       {{"ManagerName", u"Boss"}, {"AssistantName", u"Helper"}}},
  });
}

TEST(VcardMappingTest, Dates) {
  const struct {
    std::string_view line;
    std::u16string birthday, anniversary;
  } kCases[] = {
      {"BDAY:19800322", u"1980-03-22", u""},
      {"BDAY:1980-03-22", u"1980-03-22", u""},
      {"BDAY:1980-03-22T23:30:00-05:00", u"1980-03-22", u""},
      {"BDAY;VALUE=date-time:19531015T231000Z", u"1953-10-15", u""},
      {"BDAY:2000-02-29", u"2000-02-29", u""},
      {"BDAY:--0322", u"", u""},
      {"BDAY:--03-22", u"", u""},
      {"BDAY;X-APPLE-OMIT-YEAR=1604:1604-03-22", u"", u""},
      {"BDAY:1604-03-22", u"1604-03-22", u""},
      {"BDAY:19723101", u"", u""},
      {"BDAY:1900-02-29", u"", u""},
      {"BDAY:1980-03-22x", u"", u""},
      {"BDAY;VALUE=text:circa 1800", u"", u""},
      {"ANNIVERSARY:20090703", u"", u"2009-07-03"},
      {"X-MS-ANNIVERSARY:20110113", u"", u"2011-01-13"},
      {"X-ANNIVERSARY:2011-01-14", u"", u"2011-01-14"},
      {"X-EVOLUTION-ANNIVERSARY:2011-01-15", u"", u"2011-01-15"},
      {"item1.X-ABDATE:1975-03-01\nitem1.X-ABLabel:_$!<Anniversary>!$_", u"", u"1975-03-01"},
      {"item1.X-ABDATE:1975-03-01\nitem1.X-ABLabel:_$!<Other>!$_", u"", u""},
      {"X-MS-ANNIVERSARY:20000101\nANNIVERSARY:20010101", u"", u"2001-01-01"},
      {"ANNIVERSARY:20011301\nX-ANNIVERSARY:20020202", u"", u"2002-02-02"},
  };
  std::vector<MappingCase> cases;
  for (const auto& c : kCases) {
    cases.push_back({c.line.data(), "3.0", std::string(c.line) + "\n",
                     {{"Birthday", c.birthday}, {"Anniversary", c.anniversary}}});
  }
  Check(cases);
}

TEST(VcardMappingTest, OutlookTelephoneNumbers) {
  Check({{"every Outlook 2.1 number", "2.1",
          "TEL;WORK;VOICE:b1\nTEL;HOME;VOICE:h1\nTEL;CELL;VOICE:m\nTEL;WORK;FAX:bf\nTEL;HOME;FAX:hf\nTEL;FAX:of\n"
          "TEL;PAGER:p\nTEL;CAR:c\nTEL;ISDN:i\nTEL;WORK:b2\nTEL;HOME:h2\nTEL;HOME:h3\nTEL;WORK:b3\nTEL;VOICE:o\n"
          "TEL;VOICE:o2\nTEL;TLX:t2\nX-MS-TEL;VOICE;CALLBACK:cb\nX-MS-TEL;VOICE;COMPANY:co\nX-MS-TEL;VOICE;RADIO:r\n"
          "X-MS-TEL;TTYTDD:tty\nX-MS-TEL;VOICE;ASSISTANT:as\nX-MS-TEL;VOICE:nothing\nEMAIL;TLX:t1\nEMAIL;INTERNET:e\n",
          {{"BusinessTelephoneNumber", u"b1"}, {"Business2TelephoneNumber", u"b2"}, {"HomeTelephoneNumber", u"h1"},
           {"Home2TelephoneNumber", u"h2"}, {"MobileTelephoneNumber", u"m"}, {"BusinessFaxNumber", u"bf"},
           {"HomeFaxNumber", u"hf"}, {"OtherFaxNumber", u"of"}, {"PagerNumber", u"p"}, {"CarTelephoneNumber", u"c"},
           {"ISDNNumber", u"i"}, {"OtherTelephoneNumber", u"o"}, {"TelexNumber", u"t1"},
           {"CallbackTelephoneNumber", u"cb"}, {"CompanyMainTelephoneNumber", u"co"}, {"RadioTelephoneNumber", u"r"},
           {"TTYTDDTelephoneNumber", u"tty"}, {"AssistantTelephoneNumber", u"as"}}}});
}

TEST(VcardMappingTest, TelephoneAlternatives) {
  Check({
      {"TEL types stand in for X-MS-TEL, which still wins", "3.0",
       "TEL;TYPE=callback:cb2\nTEL;TYPE=x-evolution-radio:r2\nTEL;TYPE=textphone:tty2\nTEL;TYPE=company:co2\n"
       "TEL;TYPE=X-EVOLUTION-ASSISTANT:as2\nX-MS-TEL;TYPE=callback:cb1\nTEL;TYPE=other:ot\nTEL;TYPE=pcs:pcs\n"
       "TEL;TYPE=tlx:tx\n",
       {{"CallbackTelephoneNumber", u"cb1"}, {"RadioTelephoneNumber", u"r2"}, {"TTYTDDTelephoneNumber", u"tty2"},
        {"CompanyMainTelephoneNumber", u"co2"}, {"AssistantTelephoneNumber", u"as2"}, {"OtherTelephoneNumber", u"ot"},
        {"MobileTelephoneNumber", u"pcs"}, {"TelexNumber", u"tx"}}},
      {"cell beats Apple's mobile label", "3.0",
       "item1.TEL:lab\nitem1.X-ABLabel:_$!<Mobile>!$_\nTEL;TYPE=cell:cell\n",
       {{"MobileTelephoneNumber", u"cell"}}},
      {"PHS handset of a Japanese phone", "2.1", "TEL;X-PCS:xp\nTEL;VOICE:o\n",
       {{"MobileTelephoneNumber", u"xp"}, {"OtherTelephoneNumber", u"o"}}},
      {"iPhone label and type", "3.0", "item2.TEL:ip\nitem2.X-ABLabel:iPhone\nTEL;TYPE=IPHONE:x\n",
       {{"MobileTelephoneNumber", u"ip"}}},
      {"untyped beats TEL;other; voice, msg, video, bbs, modem are no types", "3.0",
       "TEL;TYPE=other:ot\nTEL;TYPE=video,msg,bbs,modem,voice,pref:v\n", {{"OtherTelephoneNumber", u"v"}}},
      {"labels written after the number; tel: URIs", "4.0",
       "item1.TEL:hf\nTEL;VALUE=uri;TYPE=\"voice,home\":tel:+1-555\nitem1.X-ABLabel:_$!<HomeFAX>!$_\n",
       {{"HomeFaxNumber", u"hf"}, {"HomeTelephoneNumber", u"+1-555"}}},
  });
}

TEST(VcardMappingTest, HomePages) {
  Check({
      {"typed URLs keep their columns", "3.0", "URL:u1\nURL;TYPE=work:w\nURL:u2\nURL;TYPE=home:h\n",
       {{"PersonalHomePage", u"h"}, {"BusinessHomePage", u"w"}}},
      {"untyped URLs fill the first, then the second", "3.0", "URL:u1\nURL:u2\nURL:u3\n",
       {{"PersonalHomePage", u"u1"}, {"BusinessHomePage", u"u2"}}},
      {"untyped URL fills what a typed one left", "3.0", "URL;TYPE=work:w\nURL:http\\://u1\n",
       {{"PersonalHomePage", u"http://u1"}, {"BusinessHomePage", u"w"}}},
  });
}

TEST(VcardMappingTest, GroupCards) {
  const struct {
    std::string_view line;
    vcard::CardKind kind;
  } kCases[] = {
      {"KIND:group", vcard::CardKind::kGroup},
      {"KIND: Group ", vcard::CardKind::kGroup},
      {"KIND:individual", vcard::CardKind::kContact},
      {"X-ADDRESSBOOKSERVER-KIND:group", vcard::CardKind::kGroup},
      {"X-EVOLUTION-LIST:TRUE", vcard::CardKind::kGroup},
      {"X-EVOLUTION-LIST:FALSE", vcard::CardKind::kContact},
      {"N:Kind;None", vcard::CardKind::kContact},
  };
  for (const auto& c : kCases) {
    const std::string file = "BEGIN:VCARD\nVERSION:4.0\nFN:Staff\n" + std::string(c.line) + "\nEND:VCARD\n";
    EXPECT_EQ(vcard_test::ReadOnlyCard(file).kind, c.kind) << c.line;
  }
}

}  // namespace

TEST(VcardMappingTest, Version21SemicolonInEveryValue) {
  // Evolution's and Android's 2.1 cards escape ';' as \; in single values
  // too, quoted-printable ones included; every other backslash is text.
  Check({{"Evolution 2.1 card", "2.1",
          "N:Last;First \\; special \\;;;;\n"
          "X-EVOLUTION-FILE-AS:Last, First \\; special \\;\n"
          "NOTE:The first name is \"First \\; special \\;\".\n"
          "NOTE:ampersand entity &amp\\; less-than entity &lt\\;\n"
          "NOTE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9 \\; =5C;\n"
          "NOTE:C:\\\\share\\dir \\\\; \\n \\:\n",
          {{"lastname", u"Last"}, {"FirstName", u"First ; special ;"}, {"FileAs", u"Last, First ; special ;"},
           {"Body", u"The first name is \"First ; special ;\".\r\nampersand entity &amp; less-than entity &lt;\r\n"
                    u"café ; ;\r\nC:\\\\share\\dir \\; \\n \\:"}}}});
}
