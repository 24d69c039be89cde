// Thunderbird's address books (abook.sqlite, history.sqlite, abook-N.sqlite):
// table properties(card, name, value), one row per property of a card, and
// lists(uid, name, nickName, description) for mailing lists. Since
// Thunderbird 102 a card's row named "_vCard" holds the whole card; books
// written before keep one row per field, mapped here.
#include <array>
#include <charconv>

#include "om/contact_properties.h"
#include "store/card_item.h"
#include "store/sqlite/sqlite_book_kinds.h"
#include "text/unicode_text.h"

namespace sqlitebook {
namespace {

// Per-field rows of books written before Thunderbird 102, and the column
// each gives.
struct FieldColumn {
  std::string_view field;
  std::string_view column;
};
constexpr std::array<FieldColumn, 23> kFieldColumns{{
    {"FirstName", "FirstName"},
    {"LastName", "lastname"},
    {"DisplayName", "FileAs"},
    {"NickName", "NickName"},
    {"PhoneticFirstName", "YomiFirstName"},
    {"PhoneticLastName", "YomiLastName"},
    {"HomeCity", "HomeAddressCity"},
    {"HomeState", "HomeAddressState"},
    {"HomeZipCode", "HomeAddressPostalCode"},
    {"HomeCountry", "HomeAddressCountry"},
    {"WorkCity", "BusinessAddressCity"},
    {"WorkState", "BusinessAddressState"},
    {"WorkZipCode", "BusinessAddressPostalCode"},
    {"WorkCountry", "BusinessAddressCountry"},
    {"WorkPhone", "BusinessTelephoneNumber"},
    {"HomePhone", "HomeTelephoneNumber"},
    {"FaxNumber", "BusinessFaxNumber"},
    {"PagerNumber", "PagerNumber"},
    {"CellularNumber", "MobileTelephoneNumber"},
    {"JobTitle", "JobTitle"},
    {"Department", "Department"},
    {"Company", "CompanyName"},
    {"Notes", "Body"},
}};

// The two street lines of each address, joined by CR LF into one street.
struct StreetColumn {
  std::string_view line1;
  std::string_view line2;
  std::string_view column;
};
constexpr std::array<StreetColumn, 2> kStreets{{
    {"HomeAddress", "HomeAddress2", "HomeAddressStreet"},
    {"WorkAddress", "WorkAddress2", "BusinessAddressStreet"},
}};
constexpr std::array<FieldColumn, 2> kWebPages{{
    {"WebPage1", "BusinessHomePage"},
    {"WebPage2", "PersonalHomePage"},
}};

std::size_t Column(std::string_view name) { return *om::FindContactProperty(name); }

// The row named `name` (the last one when a card has it twice); nothing when
// there is none.
const std::string* Find(const ItemRows& item, std::string_view name) {
  const std::string* found = nullptr;
  for (std::size_t i = 0; i < item.used; ++i) {
    if (item.rows[i].first == name) found = &item.rows[i].second;
  }
  return found;
}

std::optional<int> Number(const std::string* text) {
  if (text == nullptr || text->empty()) return std::nullopt;
  int value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

bool IsRealDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && leap ? 1 : 0);
}

std::optional<store::ItemData> FieldsItem(const ItemRows& item) {
  auto values = std::make_shared<om::ContactValues>(om::EmptyContactValues());
  const auto set = [&](std::string_view column, const std::string& text) {
    // Thunderbird keeps the line breaks of notes and addresses as typed (LF
    // on most systems); every one must reach the record as one space.
    (*values)[Column(column)] = text::WithCrLfLineBreaks(store::TextFromUtf8(text));
  };
  for (const auto& [field, column] : kFieldColumns) {
    if (const std::string* text = Find(item, field)) set(column, *text);
  }
  for (const auto& [field, column] : kWebPages) {
    if (const std::string* text = Find(item, field)) set(column, *text);
  }
  for (const auto& [line1, line2, column] : kStreets) {
    const std::string* first = Find(item, line1);
    const std::string* second = Find(item, line2);
    std::string street = first != nullptr ? *first : std::string();
    if (second != nullptr && !second->empty()) street += street.empty() ? *second : "\r\n" + *second;
    set(column, street);
  }
  const std::optional<int> year = Number(Find(item, "BirthYear"));
  const std::optional<int> month = Number(Find(item, "BirthMonth"));
  const std::optional<int> day = Number(Find(item, "BirthDay"));
  if (year && month && day && IsRealDate(*year, *month, *day)) (*values)[om::kBirthday] = om::Date{*year, *month, *day};
  return store::ItemData{om::ItemKind::kContact, std::move(values)};
}

std::optional<store::ItemData> CardItem(const ItemRows& item) {
  if (const std::string* card = Find(item, "_vCard")) return store::CardItem(*card, {0, card->size()});
  return FieldsItem(item);
}

// A mailing list: its name is what Outlook shows as a list's file-as.
store::ItemData ListItem(Statement& lists) {
  auto values = std::make_shared<om::ContactValues>(om::EmptyContactValues());
  (*values)[om::kFileAs] = store::TextFromUtf8(lists.Text(0));
  (*values)[Column("NickName")] = store::TextFromUtf8(lists.Text(1));
  (*values)[om::kBody] = text::WithCrLfLineBreaks(store::TextFromUtf8(lists.Text(2)));
  return {om::ItemKind::kDistList, std::move(values)};
}

}  // namespace

std::optional<BookKind> ThunderbirdKind(const Database& db) {
  if (!HasColumns(db, "properties", {"card", "name", "value"})) return std::nullopt;
  BookKind kind;
  // Byte order of the card text: SQLite's BINARY collation, the columns' own.
  kind.keysSql = "SELECT DISTINCT card FROM properties WHERE card IS NOT NULL ORDER BY card";
  kind.rowsSql = "SELECT card, name, value FROM properties WHERE card >= ?1 ORDER BY card";
  kind.map = CardItem;
  if (HasColumns(db, "lists", {"uid", "name", "nickName", "description"})) {
    Statement lists(db, "SELECT name, nickName, description FROM lists ORDER BY uid");
    int rc;
    while ((rc = lists.Step()) == SQLITE_ROW) kind.trailing.push_back(ListItem(lists));
    if (rc != SQLITE_DONE) return std::nullopt;
  }
  return kind;
}

}  // namespace sqlitebook
