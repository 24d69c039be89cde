// Reading a folder's cards one after the other for the card decoder, keeping
// the file of the last one open and reading ahead in it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/cards/card_files.h"
#include "vcard/vcard_reader.h"

namespace store {

// Reads one card after the other, keeping the file of the last one open. One
// per thread that decodes.
class CardReader {
 public:
  explicit CardReader(std::shared_ptr<const FolderFiles> files) : files_(std::move(files)) {}

  // Decodes `ref` into `card`, from `wholeFile` (its file's bytes) when the
  // index kept them, else from the file.
  bool Read(const CardRef& ref, const std::string* wholeFile, vcard::Card& card);

 private:
  bool ReadFromFile(const CardRef& ref, vcard::Card& card);
  std::optional<std::string_view> AheadBytes(const CardRef& ref);

  std::shared_ptr<const FolderFiles> files_;
  fs::FilePtr openFile_;
  NameRef openName_ = 0;
  std::optional<std::string> openHead_;  // its first bytes, once a card past them is read
  std::string cardBuffer_;
  std::string ahead_;  // bytes of the open file from aheadStart_ on
  std::uint64_t aheadStart_ = 0;
};

}  // namespace store
