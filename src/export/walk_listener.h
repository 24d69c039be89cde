// What a run of the export tells whoever wants to know how it went, as it
// happens: which folder it chose, each folder it walks, each record it makes,
// each item it passes over and why, and where it failed. The export itself
// has no listener; contact-export-check has one. A listener only hears: what
// the export does is the same with or without one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "om/object_model.h"

namespace exporter {

// Why an item of a folder gave no record.
enum class SkipReason {
  kDistributionList,  // a distribution list
  kOtherItem,         // any other item that is no contact (mail, appointment, ...)
  kNoName,            // a contact with no file-as, first or last name
  kUnreadable,        // the item, its kind or its name could not be read
};

class WalkListener {
 public:
  virtual ~WalkListener() = default;

  // The default contacts folder could not be opened; the failure's number and
  // reason (possibly empty).
  virtual void DefaultFolderFailed(std::uint32_t number, std::string_view reason) = 0;
  // The store search ended: it took the top-level folder at 1-based `index`,
  // or none (0); `reason` is that of the last failure it met.
  virtual void SearchEnded(std::int64_t index, std::string_view reason) = 0;

  // The walk entered `folder`, `depth` folders below the exported one (0);
  // every folder entered is left or fails.
  virtual void FolderEntered(const om::Handle& folder, std::size_t depth) = 0;
  virtual void FolderLeft() = 0;
  // Item `index` (1-based) of the folder last entered and not left gave a
  // record, or none for `reason`; `item` is nothing when it could not be had.
  // An unreadable item comes with the number and reason of its failure (0
  // and empty for the others).
  virtual void RecordMade(std::int64_t index) = 0;
  virtual void ItemSkipped(std::int64_t index, SkipReason reason, const om::Handle& item, std::uint32_t number,
                           std::string_view failure) = 0;
  // The walk failed in the folder last entered and not left (or before the
  // first), and ends: the failure's number (0 for the walk's own failures:
  // a folder that holds itself, a tree too deep) and reason.
  virtual void WalkFailed(std::uint32_t number, std::string_view reason) = 0;
};

// The listener of the runs that follow; nullptr for none (the export's).
void SetWalkListener(WalkListener* listener);
WalkListener* CurrentWalkListener();

}  // namespace exporter
