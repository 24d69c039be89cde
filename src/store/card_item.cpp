#include "store/card_item.h"

namespace store {

ItemData CardItem(std::shared_ptr<const vcard::Card> card) {
  const om::ItemKind kind =
      card->kind == vcard::CardKind::kGroup ? om::ItemKind::kDistList : om::ItemKind::kContact;
  const om::ContactValues* values = &card->values;
  return ItemData{kind, std::shared_ptr<const om::ContactValues>(std::move(card), values)};
}

std::optional<ItemData> CardItem(std::string_view text, vcard::CardExtent extent) {
  auto card = std::make_shared<vcard::Card>();
  if (!vcard::ReadCardInto(text, extent, *card)) return std::nullopt;
  return CardItem(std::move(card));
}

}  // namespace store
