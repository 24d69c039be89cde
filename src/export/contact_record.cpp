#include "export/contact_record.h"

#include <array>
#include <cstdint>

#include "om/result_codes.h"
#include "csv/csv_file.h"
#include "csv/output_guard.h"
#include "om/contact_properties.h"
#include "om/item_kinds.h"
#include "om/resume_next.h"
#include "export/walk_listener.h"

namespace exporter {
namespace {

// Only contacts are written; distribution lists and other items are skipped.
constexpr std::u16string_view kContactTypeName = om::ItemTypeName(om::ItemKind::kContact);

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

void PutDigits(char16_t* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  }
}

// The ten units of "yyyy-mm-dd" written at `out`: the text's length, or 0 when
// the date is not written (see FormatDate). The record writes dates from a
// buffer on the stack, without a string per date.
std::size_t DateUnits(const om::Date& date, char16_t (&out)[10]) {
  if (date == om::kNoDate) return 0;
  if (date.year < 1 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
      date.day > DaysInMonth(date.year, date.month)) {
    return 0;
  }
  PutDigits(out, date.year, 4);
  out[4] = u'-';
  PutDigits(out + 5, date.month, 2);
  out[7] = u'-';
  PutDigits(out + 8, date.day, 2);
  return 10;
}

// An empty value compares equal to the empty text.
bool IsEmptyName(const om::Value& value) {
  if (std::holds_alternative<std::monostate>(value)) return true;
  const std::u16string* text = std::get_if<std::u16string>(&value);
  return text && text->empty();
}

// The values of one item are read into those of the item before, so that
// their texts' buffers are used again.
void ReadProperty(const om::Handle& item, std::size_t column, om::ContactValues& values) {
  om::GetInto(item, om::kContactProperties[column].name, values[column]);
}

// The name test: skipped when file-as, first and last name are all empty or
// when one of them cannot be read (then `unreadable`). The three values are
// kept for the record.
bool HasName(const om::Handle& item, om::ContactValues& values, bool& unreadable) {
  bool empty = false;
  unreadable = !om::ResumeNext([&] {
    for (std::size_t column : {om::kFileAs, om::kFirstName, om::kLastName}) {
      ReadProperty(item, column, values);
    }
    empty = IsEmptyName(values[om::kFileAs]) && IsEmptyName(values[om::kFirstName]) &&
            IsEmptyName(values[om::kLastName]);
  });
  return !unreadable && !empty;
}

// Why an item of the type `typeName` is no contact; an empty name is one
// that could not be read.
SkipReason NotAContact(std::u16string_view typeName) {
  if (typeName.empty()) return SkipReason::kUnreadable;
  return typeName == om::ItemTypeName(om::ItemKind::kDistList) ? SkipReason::kDistributionList
                                                                : SkipReason::kOtherItem;
}

// Reads every other property once; one that cannot be read stays empty, which
// gives an empty field, so the record always has all its columns.
void ReadRemainingProperties(const om::Handle& item, om::ContactValues& values) {
  for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
    if (column == om::kFileAs || column == om::kFirstName || column == om::kLastName) continue;
    if (!om::ResumeNext([&] { ReadProperty(item, column, values); })) values[column] = std::monostate{};
  }
}

// Texts, empty values and dates, which are nearly every field, go to the line
// as they are, without a string in between.
void AddRecordFields(const om::ContactValues& values) {
  csv::CsvClearLine();
  for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
    const om::Value& value = values[column];
    if (om::kContactProperties[column].kind == om::PropertyKind::kDate) {
      // What a date column holds: the formatted date, or "" for anything that is not a date.
      char16_t units[10];
      const om::Date* date = std::get_if<om::Date>(&value);
      csv::CsvAddField(std::u16string_view(units, date ? DateUnits(*date, units) : 0));
    } else if (const std::u16string* text = std::get_if<std::u16string>(&value)) {
      csv::CsvAddField(*text);
    } else if (std::holds_alternative<std::monostate>(value)) {
      csv::CsvAddField(std::u16string_view());
    } else {
      csv::CsvAddField(ValueText(value));
    }
  }
}

}  // namespace

std::u16string FormatDate(const om::Date& date) {
  char16_t units[10];
  return std::u16string(units, DateUnits(date, units));
}

std::u16string ValueText(const om::Value& value) {
  if (const std::u16string* text = std::get_if<std::u16string>(&value)) return *text;
  if (const std::int64_t* number = std::get_if<std::int64_t>(&value)) {
    const std::string digits = std::to_string(*number);
    return std::u16string(digits.begin(), digits.end());
  }
  if (const om::Date* date = std::get_if<om::Date>(&value)) return FormatDate(*date);
  return std::u16string();
}

int ExportFolderItems(const om::Handle& folder) {
  int result = om::RC_OK;
  om::Handle items;
  std::int64_t count = 0;
  om::ResumeNext([&] { items = om::AsObject(om::Get(folder, "Items")); });
  // Without a count there is nothing to loop over: none of the folder's items.
  om::ResumeNext([&] { count = om::AsCount(om::Get(items, "Count")); });
  om::ContactValues values;
  WalkListener* const listener = CurrentWalkListener();
  const auto skipped = [&](std::int64_t i, SkipReason reason, const om::Handle& item) {
    if (!listener) return;
    const bool unreadable = reason == SkipReason::kUnreadable;
    listener->ItemSkipped(i, reason, item, unreadable ? om::ErrNumber() : 0, unreadable ? om::ErrReason() : "");
  };
  for (std::int64_t i = 1; i <= count; ++i) {
    // Asked to end: the items left are not even read.
    if (csv::StopRequested()) return om::RC_FILE_WRITE_FAILED;
    om::Handle item;
    // An item that cannot be fetched is skipped; nothing of an earlier item is
    // looked at again, so no record is written twice.
    if (!om::ResumeNext([&] { item = om::AsObject(om::Get(items, "Item", i)); })) {
      skipped(i, SkipReason::kUnreadable, nullptr);
      continue;
    }
    std::u16string typeName;
    if (om::ResumeNextIf([&] {
          typeName = om::TypeNameOf(item);
          return typeName != kContactTypeName;
        })) {
      skipped(i, NotAContact(typeName), item);
      continue;
    }
    bool unreadable = false;
    if (!HasName(item, values, unreadable)) {
      skipped(i, unreadable ? SkipReason::kUnreadable : SkipReason::kNoName, item);
      continue;
    }
    ReadRemainingProperties(item, values);
    AddRecordFields(values);
    result = csv::CsvWriteLine();
    if (result != om::RC_OK) break;
    if (listener) listener->RecordMade(i);
  }
  return result;
}

}  // namespace exporter
