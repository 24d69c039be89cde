// Evolution's address books (also GNOME Contacts'): contacts.db of a local
// book, written by EBookSqlite, and cache.db of an online book, written by
// EBookCache. Both keep each contact's whole vCard in one column.
#include "store/card_item.h"
#include "store/sqlite/sqlite_book_kinds.h"

namespace sqlitebook {
namespace {

// One row per item: (is_list, vCard). A row marked as a list is a
// distribution list whatever its card says.
std::optional<store::ItemData> VCardItem(const ItemRows& item) {
  if (item.used != 1) return std::nullopt;
  const std::string& card = item.rows[0].second;
  std::optional<store::ItemData> data = store::CardItem(card, {0, card.size()});
  if (data && item.rows[0].first == "1") data->kind = om::ItemKind::kDistList;
  return data;
}

}  // namespace

std::optional<BookKind> EvolutionKind(const Database& db) {
  if (!HasColumns(db, "folders", {"folder_id"})) return std::nullopt;
  // EBookSqlite keeps one folder; its contacts are in the table it names.
  Statement folders(db, "SELECT folder_id FROM folders ORDER BY folder_id LIMIT 1");
  if (folders.Step() != SQLITE_ROW) return std::nullopt;
  const std::string folder(folders.Text(0));
  if (!HasColumns(db, folder, {"uid", "is_list", "vcard"})) return std::nullopt;
  const std::string table = QuoteIdentifier(folder);
  BookKind kind;
  kind.keysSql = "SELECT uid FROM " + table + " WHERE uid IS NOT NULL ORDER BY uid";
  kind.rowsSql = "SELECT uid, is_list, vcard FROM " + table + " WHERE uid >= ?1 ORDER BY uid";
  kind.map = VCardItem;
  return kind;
}

std::optional<BookKind> EvolutionCacheKind(const Database& db) {
  if (!HasColumns(db, "ECacheObjects", {"ECacheUID", "ECacheOBJ", "ECacheState", "is_list"})) return std::nullopt;
  // State 3: deleted while offline, kept only until the next synchronisation.
  constexpr std::string_view kKept = "ECacheState IS NOT 3";
  BookKind kind;
  kind.keysSql = "SELECT ECacheUID FROM ECacheObjects WHERE ECacheUID IS NOT NULL AND " + std::string(kKept) +
                 " ORDER BY ECacheUID";
  kind.rowsSql = "SELECT ECacheUID, is_list, ECacheOBJ FROM ECacheObjects WHERE ECacheUID >= ?1 AND " +
                 std::string(kKept) + " ORDER BY ECacheUID";
  kind.map = VCardItem;
  return kind;
}

}  // namespace sqlitebook
