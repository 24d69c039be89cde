#include "store/carddav/carddav_book.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "om/error_numbers.h"
#include "store/card_item.h"
#include "store/carddav/carddav_url.h"
#include "vcard/vcard_reader.h"

namespace carddav {
namespace {

using store::ItemData;

// Cards asked for in one multiget: enough to keep the round trips few, few
// enough that one batch's cards take little memory.
constexpr std::size_t kBatchSize = 200;

constexpr const char* kListingBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:resourcetype/><D:getetag/></D:prop></D:propfind>";

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else {
      out += c;
    }
  }
  return out;
}

// One card of a multiget, decoded as it arrives so that a batch holds its
// cards' values, not their text (photos and all). Nothing when the server
// reported it missing or it cannot be read: an item that fails.
std::optional<ItemData> DecodeCard(const std::string& text) {
  const std::vector<vcard::CardExtent> cards = vcard::FindCards(text);
  if (cards.empty()) return std::nullopt;
  return store::CardItem(text, cards.front());
}

}  // namespace

std::u16string BookFolder::Name() { return store::TextFromUtf8(book_.name); }
std::u16string BookFolder::EntryId() { return storeId_ + u":" + store::HexText(book_.href); }

std::size_t BookFolder::ItemCount() {
  List();
  return hrefs_.size();
}

ItemData BookFolder::FetchItem(std::size_t index) {
  List();
  const std::size_t batch = index / kBatchSize;
  if (batch != batch_) Load(batch);
  const std::size_t at = index - batch * kBatchSize;
  const std::optional<ItemData>& card = cards_[at];
  if (!card) {
    throw om::ObjectModelError(om::kMapiCorruptData,
                               Location(index) + (missing_[at] ? ": the server reports it missing (404)"
                                                               : ": its address data holds no card that can be read"));
  }
  return *card;
}

std::string BookFolder::Location(std::size_t index) {
  List();
  return store::Printable(WithoutUserInfo(hrefs_.at(index)));
}

// A folder whose cards could not all be read refuses its subfolders too:
// that is what ends the walk as failed.
std::size_t BookFolder::SubfolderCount() {
  if (failed_) FailAgain();
  return subfolders_.size();
}

std::unique_ptr<store::FolderSource> BookFolder::OpenSubfolder(std::size_t index) {
  return std::make_unique<BookFolder>(connection_, subfolders_.at(index), storeId_, std::vector<Book>{});
}

void BookFolder::Fail(std::string reason) {
  failed_ = true;
  failure_ = std::move(reason);
  cards_.clear();
  missing_.clear();
  FailAgain();
}

void BookFolder::FailAgain() const { throw om::ObjectModelError(om::kMapiCallFailed, failure_); }

void BookFolder::List() {
  if (failed_) FailAgain();
  if (listed_) return;
  const std::string self = PathOf(book_.url);
  std::unordered_set<std::string> listed;
  const Connection::Outcome outcome =
      connection_->Multistatus(Method::kPropfind, book_.url, "1", kListingBody, [&](DavResponse& response) {
        if (!response.collection && PathOf(response.href) != self && listed.insert(CardPath(response.href)).second) {
          hrefs_.push_back(std::move(response.href));
        }
        return true;
      });
  if (!outcome.complete) Fail("listing the book: " + Unanswered(outcome, book_.url));
  std::sort(hrefs_.begin(), hrefs_.end());
  effectiveUrl_ = outcome.effectiveUrl.empty() ? book_.url : outcome.effectiveUrl;
  listed_ = true;
}

// The cards of batch `batch` by one addressbook-multiget. Every card asked
// for must be answered, with its data or as missing (404).
void BookFolder::Load(std::size_t batch) {
  cards_.clear();
  batch_ = SIZE_MAX;
  const std::size_t first = batch * kBatchSize;
  const std::size_t count = std::min(kBatchSize, hrefs_.size() - first);
  std::unordered_map<std::string, std::size_t> positions;
  std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<C:addressbook-multiget xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\">"
      "<D:prop><D:getetag/><C:address-data/></D:prop>";
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& href = hrefs_[first + i];
    positions.emplace(CardPath(href), i);
    body += "<D:href>" + XmlEscaped(href) + "</D:href>";
  }
  body += "</C:addressbook-multiget>";
  std::vector<std::optional<ItemData>> cards(count);
  std::vector<bool> answered(count, false);
  std::vector<bool> missing(count, false);
  const Connection::Outcome outcome =
      connection_->Multistatus(Method::kReport, effectiveUrl_, "1", std::move(body), [&](DavResponse& response) {
        const auto found = positions.find(CardPath(response.href));
        if (found == positions.end()) return true;  // not asked for: ignored
        if (response.hasAddressData) {
          cards[found->second] = DecodeCard(response.addressData);
        } else if (response.status != 404) {
          return false;  // neither a card nor reported missing
        } else {
          missing[found->second] = true;
        }
        answered[found->second] = true;
        return true;
      });
  const std::string reading = "reading cards " + std::to_string(first + 1) + "-" + std::to_string(first + count) + ": ";
  if (!outcome.complete) Fail(reading + Unanswered(outcome, effectiveUrl_));
  if (std::find(answered.begin(), answered.end(), false) != answered.end()) {
    Fail(reading + "the answer from " + store::Printable(WithoutUserInfo(effectiveUrl_)) + " leaves cards out");
  }
  cards_ = std::move(cards);
  missing_ = std::move(missing);
  batch_ = batch;
}

}  // namespace carddav
