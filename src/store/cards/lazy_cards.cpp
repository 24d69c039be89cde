#include "store/cards/lazy_cards.h"

#include "store/cards/large_pieces.h"

namespace store {
namespace {

// Collects the cards of one window for the lazy index.
class Collector final : public CardSink {
 public:
  explicit Collector(std::vector<CardRef>& cards) : cards_(cards) {}
  void Add(std::span<const CardRef> cards, std::string_view) override {
    cards_.insert(cards_.end(), cards.begin(), cards.end());
  }
  void Withdraw(std::size_t) override {}
  void HoldLarge(std::size_t bytes) override { HoldLargeBytes(bytes); }
  void LetGoLarge(std::size_t bytes) override { LetGoLargeBytes(bytes); }

 private:
  std::vector<CardRef>& cards_;
};

}  // namespace

void FindLazyCards(LazyCards& z, std::vector<CardRef>& out) {
  Collector sink(out);
  while (out.empty() && z.file < z.names.size()) {
    const NameRef name = z.names[z.file];
    const std::uint32_t count = z.counts[z.file];
    bool more = false;
    if (z.given < count) {
      if (!z.open) {
        z.handle.reset(OpenFolderFile(*z.files, z.directory.get(), name));
        z.scan = ScanState();
        z.open = true;
      }
      std::size_t added = 0;
      more = z.handle && ScanNext(z.handle.get(), name, z.scan, z.buffer, sink, added);
      const std::size_t left = count - z.given;
      if (out.size() > left) out.resize(left);
      if (!more) out.resize(left, CardRef{0, kUnreadableCard, name});
      z.given += static_cast<std::uint32_t>(out.size());
    }
    if (!more || z.given == count) {
      z.handle.reset();
      z.open = false;
      z.given = 0;
      ++z.file;
    }
  }
}

}  // namespace store
