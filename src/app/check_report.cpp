#include "app/check_report.h"

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "export/contact_record.h"
#include "export/walk_listener.h"
#include "text/unicode_text.h"

namespace app {
namespace {

using exporter::SkipReason;

// Items passed over are listed one by one up to this many per folder; a
// folder of thousands of distribution lists gives its count, not a page each.
constexpr std::size_t kListedSkips = 20;

constexpr std::array<std::string_view, 4> kSkipWords{
    "distribution list",   // kDistributionList
    "not a contact",       // kOtherItem
    "no name",             // kNoName
    "cannot be read",      // kUnreadable
};

struct FolderLine {
  std::size_t depth = 0;
  std::string name;
  std::int64_t records = 0;
  std::array<std::int64_t, 4> skipped{};
  std::vector<std::string> skippedItems;  // the first kListedSkips
  std::string failure;                    // why the walk ended here; empty: it did not
};

// What the run has told so far.
std::vector<FolderLine> gFolders;  // in walk order
std::vector<std::size_t> gOpen;    // indexes into gFolders of the folders entered and not left
std::int64_t gRecords = 0;
std::string gNoStore;          // why nothing could be attached
std::string gDefaultFailure;   // why the default contacts folder could not be had
bool gSearched = false;
std::int64_t gSearchTook = 0;
std::string gSearchFailure;
std::string gSearchTookName;
std::string gWalkFailure;      // a failure before the first folder was entered
std::string gStores;           // the stores' description, ready

std::string Utf8(const om::Value& value) { return text::Utf8FromUtf16(exporter::ValueText(value)); }

// Reads a text member; nothing when it cannot be read.
std::optional<std::string> TextOf(const om::Handle& object, std::string_view member) {
  try {
    return Utf8(om::Get(object, member));
  } catch (const om::ObjectModelError&) {
    return std::nullopt;
  }
}

std::string NameOf(const om::Handle& folder) {
  try {
    return Utf8(om::Get(folder, "Name"));
  } catch (const om::ObjectModelError& failure) {
    return "(name unreadable: " + FailureText(failure.number(), failure.reason()) + ")";
  }
}

class Listener final : public exporter::WalkListener {
 public:
  void DefaultFolderFailed(std::uint32_t number, std::string_view reason) override {
    gDefaultFailure = FailureText(number, reason);
  }
  void SearchEnded(std::int64_t index, std::string_view reason) override {
    gSearched = true;
    gSearchTook = index;
    gSearchFailure = reason;
  }
  void FolderEntered(const om::Handle& folder, std::size_t depth) override {
    gOpen.push_back(gFolders.size());
    FolderLine line;
    line.depth = depth;
    line.name = NameOf(folder);
    gFolders.push_back(std::move(line));
  }
  void FolderLeft() override {
    if (!gOpen.empty()) gOpen.pop_back();
  }
  void RecordMade(std::int64_t) override {
    ++gRecords;
    if (!gOpen.empty()) ++gFolders[gOpen.back()].records;
  }
  void ItemSkipped(std::int64_t index, SkipReason reason, const om::Handle& item, std::uint32_t number,
                   std::string_view failure) override {
    if (gOpen.empty()) return;
    FolderLine& folder = gFolders[gOpen.back()];
    ++folder.skipped[static_cast<std::size_t>(reason)];
    if (folder.skippedItems.size() >= kListedSkips) return;
    std::string line = "item " + std::to_string(index);
    if (item) {
      if (std::optional<std::string> where = TextOf(item, "SourceLocation"); where && !where->empty()) {
        line += " (" + *where + ")";
      }
    }
    line += ": ";
    line += kSkipWords[static_cast<std::size_t>(reason)];
    if (reason == SkipReason::kUnreadable) line += ": " + FailureText(number, failure);
    folder.skippedItems.push_back(std::move(line));
  }
  void WalkFailed(std::uint32_t number, std::string_view reason) override {
    const std::string text = FailureText(number, reason);
    if (gOpen.empty()) {
      gWalkFailure = text;
    } else if (gFolders[gOpen.back()].failure.empty()) {
      gFolders[gOpen.back()].failure = text;
    }
  }
};

Listener gListener;

std::string Indent(std::size_t depth) { return std::string(2 + 2 * depth, ' '); }

std::string Plural(std::int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string FolderText(const FolderLine& folder) {
  std::string out = Indent(folder.depth) + folder.name + ": " + Plural(folder.records, "record", "records");
  std::int64_t skipped = 0;
  for (std::int64_t count : folder.skipped) skipped += count;
  if (skipped != 0) {
    out += ", " + Plural(skipped, "item", "items") + " skipped (";
    const char* comma = "";
    for (std::size_t reason = 0; reason < folder.skipped.size(); ++reason) {
      if (folder.skipped[reason] == 0) continue;
      out += comma + std::string(kSkipWords[reason]) + ": " + std::to_string(folder.skipped[reason]);
      comma = ", ";
    }
    out += ")";
  }
  out += "\n";
  for (const std::string& item : folder.skippedItems) out += Indent(folder.depth + 1) + item + "\n";
  if (static_cast<std::int64_t>(folder.skippedItems.size()) < skipped) {
    out += Indent(folder.depth + 1) + "and " +
           std::to_string(skipped - static_cast<std::int64_t>(folder.skippedItems.size())) + " more\n";
  }
  if (!folder.failure.empty()) out += Indent(folder.depth + 1) + "FAILS: " + folder.failure + "\n";
  return out;
}

// One store's lines: its name and kind, where it is, whether it is the
// default, and why it fails when it does.
// What tells stores apart: the store identifier, or, for a store that cannot
// be opened (whose identifier cannot be read), its name and path.
std::string StoreKey(const om::Handle& store) {
  if (std::optional<std::string> id = TextOf(store, "StoreID")) return "id:" + *id;
  return "at:" + TextOf(store, "DisplayName").value_or("") + '\n' + TextOf(store, "FilePath").value_or("");
}

std::string StoreText(std::int64_t index, const om::Handle& store, const std::optional<std::string>& defaultKey) {
  const std::string name = TextOf(store, "DisplayName").value_or("(name unreadable)");
  // Outlook's own stores have no kind of ours: they are Outlook's.
  const std::string kind = TextOf(store, "StoreKind").value_or("Outlook store");
  std::string out = "  " + std::to_string(index) + ". " + name + " (" + kind + ")";
  std::string failure;
  try {
    om::AsObject(om::Get(store, "GetRootFolder"));
  } catch (const om::ObjectModelError& error) {
    failure = FailureText(error.number(), error.reason());
  }
  if (defaultKey && StoreKey(store) == *defaultKey) out += ", the default store";
  out += "\n";
  if (std::optional<std::string> url = TextOf(store, "ServerURL"); url && !url->empty()) {
    out += "     at " + *url + "\n";
  } else if (std::optional<std::string> path = TextOf(store, "FilePath"); path && !path->empty()) {
    out += "     at " + *path + "\n";
  }
  if (!failure.empty()) out += "     FAILS: " + failure + "\n";
  return out;
}

}  // namespace

std::string FailureText(std::uint32_t number, std::string_view reason) {
  if (!reason.empty()) return std::string(reason);
  if (number == 0) return "no reason given";
  char hex[32];
  std::snprintf(hex, sizeof hex, "error 0x%08X", static_cast<unsigned>(number));
  return hex;
}

void CheckBegin() {
  gFolders.clear();
  gOpen.clear();
  gRecords = 0;
  gNoStore.clear();
  gDefaultFailure.clear();
  gSearched = false;
  gSearchTook = 0;
  gSearchFailure.clear();
  gSearchTookName.clear();
  gWalkFailure.clear();
  gStores.clear();
  exporter::SetWalkListener(&gListener);
}

void CheckNoStore(std::string_view reason) { gNoStore = reason; }

void CheckDescribeStores(const om::Handle& nameSpace) {
  // Listening ends first: describing the stores is no part of the export.
  exporter::SetWalkListener(nullptr);
  if (gSearchTook != 0) {
    try {
      gSearchTookName = NameOf(om::AsObject(om::Get(om::AsObject(om::Get(nameSpace, "Folders")), "Item", gSearchTook)));
    } catch (const om::ObjectModelError& failure) {
      gSearchTookName = "(unreadable: " + FailureText(failure.number(), failure.reason()) + ")";
    }
  }
  std::optional<std::string> defaultKey;
  try {
    defaultKey = StoreKey(om::AsObject(om::Get(nameSpace, "DefaultStore")));
  } catch (const om::ObjectModelError&) {
    // Without a default store none is marked.
  }
  try {
    const om::Handle stores = om::AsObject(om::Get(nameSpace, "Stores"));
    const std::int64_t count = om::AsCount(om::Get(stores, "Count"));
    gStores = "Stores of the profile: " + std::to_string(count) + "\n";
    for (std::int64_t i = 1; i <= count; ++i) {
      try {
        gStores += StoreText(i, om::AsObject(om::Get(stores, "Item", i)), defaultKey);
      } catch (const om::ObjectModelError& failure) {
        gStores += "  " + std::to_string(i) + ". FAILS: " + FailureText(failure.number(), failure.reason()) + "\n";
      }
    }
  } catch (const om::ObjectModelError& failure) {
    gStores = "Stores of the profile: cannot be listed: " + FailureText(failure.number(), failure.reason()) + "\n";
  }
}

std::string CheckEnd(int exitCode) {
  exporter::SetWalkListener(nullptr);
  std::string out;
  if (!gNoStore.empty()) {
    out += "No contact store could be opened: " + gNoStore + "\n";
  } else {
    out += gStores;
    out += "\n";
    if (!gDefaultFailure.empty()) out += "The default contacts folder FAILS: " + gDefaultFailure + "\n";
    if (gSearched) {
      out += gSearchTook != 0
                 ? "The store search takes top-level folder " + std::to_string(gSearchTook) + ": " + gSearchTookName + "\n"
                 : "The store search finds no folder to export" +
                       (gSearchFailure.empty() ? std::string() : ": " + gSearchFailure) + "\n";
    }
    if (gFolders.empty()) {
      out += "No folder is exported.\n";
    } else {
      out += "Folders the export walks:\n";
      for (const FolderLine& folder : gFolders) out += FolderText(folder);
    }
    if (!gWalkFailure.empty()) out += "The export FAILS: " + gWalkFailure + "\n";
  }
  out += "\n" + Plural(gRecords, "record", "records") + "; the export would end with exit code " +
         std::to_string(exitCode) + "\n";
  return out;
}

}  // namespace app
