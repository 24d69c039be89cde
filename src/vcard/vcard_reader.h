// Reading vCard files (2.1, 3.0, 4.0): one card decoded and mapped onto the
// contact properties (where the cards of a file lie: vcard_cards.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "om/contact_properties.h"
#include "vcard/vcard_cards.h"

namespace vcard {

enum class CardKind { kContact, kGroup };

struct Card {
  CardKind kind = CardKind::kContact;
  om::ContactValues values;  // see contact_properties.h
};

// Decodes and maps the card at `extent` of `file`. Only the bytes of the
// extent (and the file's byte-order mark) are read. Nothing when the card
// cannot be parsed at all.
std::optional<Card> ReadCard(std::string_view file, CardExtent extent);

// The same, decoded into `card` in place: a caller that keeps its card (or
// allocates it where it will stay) saves moving its 55 values. False when the
// card cannot be parsed at all; `card` is then unspecified.
bool ReadCardInto(std::string_view file, CardExtent extent, Card& card);

// Lets go of the buffers reading a large card grew on this thread, which are
// otherwise kept until it reads the next card.
void ReleaseReadingMemory();

}  // namespace vcard
