// Helpers for the vCard tests: reading the single card of a text and
// comparing all 55 columns with what a test expects.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/native_path.h"
#include "vcard/vcard_reader.h"

namespace vcard_test {

// Column name and expected text; dates as "yyyy-mm-dd". Columns not listed
// must be empty ("" or no date).
using Expected = std::vector<std::pair<std::string_view, std::u16string>>;

// UTF-8 bytes of a text (surrogate pairs as one character).
inline std::string Utf8(std::u16string_view text) { return text::PathTextToBytes(text); }

// The column as text: a date as yyyy-mm-dd ("" for no date); a value of
// the wrong kind shows up as a marker that no expectation holds.
inline std::u16string ColumnText(const vcard::Card& card, std::size_t column) {
  const om::Value& value = card.values[column];
  const bool is_date = om::kContactProperties[column].kind == om::PropertyKind::kDate;
  if (!is_date) {
    const auto* text = std::get_if<std::u16string>(&value);
    return text != nullptr ? *text : u"<not a text>";
  }
  const auto* date = std::get_if<om::Date>(&value);
  if (date == nullptr) return u"<not a date>";
  if (*date == om::kNoDate) return u"";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date->year, date->month, date->day);
  return std::u16string(buffer, buffer + std::char_traits<char>::length(buffer));
}

inline void ExpectColumns(const vcard::Card& card, const Expected& expected) {
  for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
    const std::string_view name = om::kContactProperties[column].name;
    std::u16string want;
    for (const auto& [expected_name, text] : expected) {
      if (expected_name == name) want = text;
    }
    EXPECT_EQ(Utf8(ColumnText(card, column)), Utf8(want)) << "column " << name;
  }
  for (const auto& entry : expected) {
    EXPECT_TRUE(om::FindContactProperty(entry.first).has_value()) << "no column " << entry.first;
  }
}

// The only card of `file`; an empty card (which fails every column check)
// when there is not exactly one.
inline vcard::Card ReadOnlyCard(std::string_view file) {
  const std::vector<vcard::CardExtent> cards = vcard::FindCards(file);
  EXPECT_EQ(cards.size(), 1u);
  if (cards.size() != 1) return {};
  std::optional<vcard::Card> card = vcard::ReadCard(file, cards[0]);
  EXPECT_TRUE(card.has_value());
  return card.value_or(vcard::Card{});
}

}  // namespace vcard_test
