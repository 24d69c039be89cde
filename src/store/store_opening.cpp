// The two stores every kind of store opens through: the one opened on first
// use, and the failing store, which carries why it fails.
#include <utility>

#include "om/error_numbers.h"
#include "store/store_sources.h"

namespace store {
namespace {

class FailingStoreSource final : public StoreSource {
 public:
  explicit FailingStoreSource(std::string reason) : reason_(std::move(reason)) {}

  std::u16string StoreId() override { Fail(); }
  std::unique_ptr<FolderSource> OpenTopFolder() override { Fail(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { Fail(); }

 private:
  [[noreturn]] void Fail() const { throw om::ObjectModelError(om::kMapiFailOneProvider, reason_); }

  std::string reason_;
};

class StoreOpenedOnFirstUse final : public StoreSource {
 public:
  explicit StoreOpenedOnFirstUse(StoreOpener open) : open_(std::move(open)) {}

  std::u16string StoreId() override { return Opened().StoreId(); }
  std::unique_ptr<FolderSource> OpenTopFolder() override { return Opened().OpenTopFolder(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { return Opened().OpenDefaultContactsFolder(); }

 private:
  StoreSource& Opened() {
    if (open_) {
      // Taken out first: an opening that throws (memory ran out) is not
      // tried again, and the store fails from then on.
      const StoreOpener open = std::exchange(open_, nullptr);
      store_ = open();
    }
    if (!store_) throw om::ObjectModelError(om::kMapiFailOneProvider, "opening the store was cut short");
    return *store_;
  }

  StoreOpener open_;
  std::unique_ptr<StoreSource> store_;
};

}  // namespace

std::unique_ptr<StoreSource> FailingStore(std::string reason) {
  return std::make_unique<FailingStoreSource>(std::move(reason));
}

std::unique_ptr<StoreSource> OpenOnFirstUse(StoreOpener open) {
  return std::make_unique<StoreOpenedOnFirstUse>(std::move(open));
}

}  // namespace store
