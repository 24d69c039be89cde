// Where a large vCard file may be cut into windows without splitting a card.
#include "vcard/vcard_cards.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

TEST(VcardCardsTest, BoundaryIsACardStartAfterAnEnd) {
  struct Case {
    std::string window;
    std::size_t last, first;  // LastCardBoundary, FirstCardBoundary from 0
  };
  const std::string a = "BEGIN:VCARD\r\nN:A\r\nEND:VCARD\r\n";
  const Case cases[] = {
      {a + a + "BEGIN:VCARD\r\nN:partial", 2 * a.size(), a.size()},
      {a + "\r\n \r\nbegin:vcard\nN:B", a.size() + 5, a.size() + 5},  // blank lines between, any case, LF
      {a + "BEGIN:VCARD\r\nAGENT:\r\nBEGIN:VCARD\r\nN:nested", a.size(), a.size()},  // never inside a card
      {a + "END:VCARD  \r\nBEGIN:VCARD", 0, kNone},  // the line after BEGIN:VCARD must have ended
      {a, 0, kNone},                                 // one card, nothing after it
      {"BEGIN:VCARD\r\nN:A", 0, kNone},
      {"", 0, kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vcard::LastCardBoundary(c.window), c.last) << c.window;
    EXPECT_EQ(vcard::FirstCardBoundary(c.window, 0), c.first) << c.window;
  }
  // Searched from past the first boundary, the next one is found.
  EXPECT_EQ(vcard::FirstCardBoundary(a + a + a, a.size() + 1), 2 * a.size());
}

}  // namespace
