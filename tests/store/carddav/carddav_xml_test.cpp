// The multistatus reader: namespaces by URI whatever the prefixes, only
// successful propstats count, bodies arriving in any pieces, and bodies
// that are no multistatus.
#include <gtest/gtest.h>

#include <vector>

#include "store/carddav/carddav_xml.h"

namespace {

struct Parsed {
  bool ok = false;
  std::vector<carddav::DavResponse> responses;
};

Parsed Parse(std::string_view body, std::size_t piece) {
  Parsed parsed;
  carddav::MultistatusParser parser([&](carddav::DavResponse& r) {
    parsed.responses.push_back(r);
    return true;
  });
  bool fed = true;
  for (std::size_t at = 0; at < body.size() && fed; at += piece) fed = parser.Feed(body.substr(at, piece));
  parsed.ok = fed && parser.Finish();
  return parsed;
}

constexpr std::string_view kBody =
    "<?xml version='1.0'?><x:multistatus xmlns:x='DAV:' xmlns:c='urn:ietf:params:xml:ns:carddav'>"
    "<x:response><x:href>/home/book/</x:href>"
    "<x:propstat><x:prop><x:resourcetype><x:collection/><c:addressbook/></x:resourcetype>"
    "<x:displayname>A &amp; B</x:displayname></x:prop><x:status>HTTP/1.1 200 OK</x:status></x:propstat>"
    "<x:propstat><x:prop><c:addressbook-home-set><x:href>/wrong/</x:href></c:addressbook-home-set></x:prop>"
    "<x:status>HTTP/1.1 404 Not Found</x:status></x:propstat></x:response>"
    "<response xmlns='DAV:'><href>/home/book/1.vcf</href><propstat><prop>"
    "<c:address-data>BEGIN:VCARD\r\nFN:&#x5C71;\r\nEND:VCARD\r\n</c:address-data></prop>"
    "<status>HTTP/1.1 200 OK</status></propstat></response>"
    "<x:response><x:href>/home/book/2.vcf</x:href><x:status>HTTP/1.1 404 Not Found</x:status></x:response>"
    "</x:multistatus>";

TEST(MultistatusParserTest, ReadsResponsesInAnyPieces) {
  for (std::size_t piece : {kBody.size(), std::size_t{1}, std::size_t{7}}) {
    const Parsed parsed = Parse(kBody, piece);
    ASSERT_TRUE(parsed.ok) << piece;
    ASSERT_EQ(parsed.responses.size(), 3u);
    const carddav::DavResponse& book = parsed.responses[0];
    EXPECT_TRUE(book.collection && book.addressBook);
    EXPECT_EQ(book.displayName, "A & B");
    EXPECT_EQ(book.home, "");  // from a 404 propstat: not the book's
    // XML itself turns a literal CR LF into LF; the vCard reader takes either.
    EXPECT_EQ(parsed.responses[1].addressData, "BEGIN:VCARD\nFN:\xE5\xB1\xB1\nEND:VCARD\n");
    EXPECT_FALSE(parsed.responses[2].hasAddressData);
    EXPECT_EQ(parsed.responses[2].status, 404);
  }
}

TEST(MultistatusParserTest, RefusesWhatIsNoWholeMultistatus) {
  const std::string body(kBody);
  const std::string cases[] = {
      body.substr(0, body.size() - 5),                                // cut short
      "<html><body>Login</body></html>",                               // a web page
      "<multistatus xmlns='urn:other'></multistatus>",                 // another namespace
      "<!DOCTYPE m [<!ENTITY e 'x'>]><multistatus xmlns='DAV:'/>",     // a document type
      "",
  };
  for (const std::string& c : cases) EXPECT_FALSE(Parse(c, 64).ok) << c;
}

}  // namespace
