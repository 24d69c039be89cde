// A card's item, whatever store it came from: a directory of vCard files, an
// address book that keeps vCard text, a CardDAV server.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "store/store_sources.h"
#include "vcard/vcard_reader.h"

namespace store {

// The item of a decoded card: a group card is a distribution list, every
// other card a contact. The values stay in the card where they were decoded;
// the item points at them.
ItemData CardItem(std::shared_ptr<const vcard::Card> card);

// The item of the card at `extent` of `text` (a card file's bytes, or the
// text of a card a store holds); nothing when it cannot be read.
std::optional<ItemData> CardItem(std::string_view text, vcard::CardExtent extent);

}  // namespace store
