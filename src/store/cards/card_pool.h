// The cards decoded into again. A card is handed back when its item goes and
// decoded into again by the thread that made it, so that each thread frees
// only what it allocated itself: a text freed by the other thread costs a
// lock of the allocator's heap it came from, which the two threads would
// otherwise contend for on every card.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "vcard/vcard_reader.h"

namespace store {

// Which thread decodes: the one that fetches, or the second one.
enum Side { kFetching = 0, kSecond = 1 };

// The spare cards of each side. Both threads use it, under the lock that
// guards what they share (the decoding keeps it with its other state).
struct SpareCards {
  SpareCards();
  std::vector<std::unique_ptr<vcard::Card>> side[2];
};

// Takes in the cards this thread has handed back since it last did. Never
// allocates: the spare lists are made with room for all they hold.
void TakeReturnedCards(SpareCards& spare);

// A card for `side` to decode into; nothing when none is spare.
std::unique_ptr<vcard::Card> SpareCard(SpareCards& spare, Side side);

// `card`, decoded by `side`, owned by the items that point into it; handed
// back to be decoded into again when the last one goes.
std::shared_ptr<vcard::Card> ShareCard(std::unique_ptr<vcard::Card> card, Side side);

}  // namespace store
