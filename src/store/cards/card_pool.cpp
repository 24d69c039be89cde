#include "store/cards/card_pool.h"

#include <new>
#include <variant>

namespace store {
namespace {

// Cards kept per thread to be decoded into again.
constexpr std::size_t kSpareCards = 256;
// A card that grew large is not kept.
constexpr std::size_t kSpareCardBytes = std::size_t{64} << 10;

std::size_t CardBytes(const vcard::Card& card) {
  std::size_t bytes = sizeof card;
  for (const om::Value& value : card.values) {
    if (const auto* text = std::get_if<std::u16string>(&value)) bytes += text->capacity() * sizeof(char16_t);
  }
  return bytes;
}

// Cards handed back by this thread, not yet in the spare lists. The deleter
// of an item's card may run where the decoding's lock is held (an item
// dropped in a restart), so it only puts the card here; the thread moves
// them on the next time it takes the lock.
thread_local std::vector<std::unique_ptr<vcard::Card>> tReturned[2];

void ReturnCard(vcard::Card* card, Side side) noexcept {
  std::unique_ptr<vcard::Card> owned(card);
  if (CardBytes(*card) > kSpareCardBytes || tReturned[side].size() >= kSpareCards) return;
  try {
    tReturned[side].push_back(std::move(owned));
  } catch (const std::bad_alloc&) {
    // No room to keep it: it is freed here instead.
  }
}

}  // namespace

SpareCards::SpareCards() {
  for (auto& spare : side) spare.reserve(kSpareCards);
}

void TakeReturnedCards(SpareCards& spare) {
  for (int side : {kFetching, kSecond}) {
    for (std::unique_ptr<vcard::Card>& card : tReturned[side]) {
      if (spare.side[side].size() < spare.side[side].capacity()) spare.side[side].push_back(std::move(card));
    }
    tReturned[side].clear();
  }
}

std::unique_ptr<vcard::Card> SpareCard(SpareCards& spare, Side side) {
  if (spare.side[side].empty()) return nullptr;
  std::unique_ptr<vcard::Card> card = std::move(spare.side[side].back());
  spare.side[side].pop_back();
  return card;
}

std::shared_ptr<vcard::Card> ShareCard(std::unique_ptr<vcard::Card> card, Side side) {
  // Released first: a shared pointer that cannot be made hands the card to
  // its deleter, and it must then have no other owner.
  return std::shared_ptr<vcard::Card>(card.release(), [side](vcard::Card* gone) { ReturnCard(gone, side); });
}

}  // namespace store
