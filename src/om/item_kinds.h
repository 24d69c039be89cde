// The kinds of Outlook item and the type name of each, as the object model's
// TypeName gives it. The record is written for contacts only; the stores say
// of every item which kind it is, and the object model names it from here.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace om {

enum class ItemKind {
  kContact,
  kDistList,
  kMail,
  kAppointment,
  kMeeting,
  kTask,
  kTaskRequest,
  kNote,
  kJournal,
  kPost,
  kDocument,
  kSharing,
  kRemote,
  kReport,
};

// In the order of ItemKind.
inline constexpr std::array<std::u16string_view, 14> kItemTypeNames{
    u"ContactItem",  u"DistListItem",    u"MailItem",   u"AppointmentItem", u"MeetingItem",
    u"TaskItem",     u"TaskRequestItem", u"NoteItem",   u"JournalItem",     u"PostItem",
    u"DocumentItem", u"SharingItem",     u"RemoteItem", u"ReportItem",
};
static_assert(kItemTypeNames.size() == static_cast<std::size_t>(ItemKind::kReport) + 1);

constexpr std::u16string_view ItemTypeName(ItemKind kind) {
  return kItemTypeNames[static_cast<std::size_t>(kind)];
}

// Contacts and distribution lists carry the contact properties; other items
// have none.
constexpr bool HasContactProperties(ItemKind kind) {
  return kind == ItemKind::kContact || kind == ItemKind::kDistList;
}

}  // namespace om
