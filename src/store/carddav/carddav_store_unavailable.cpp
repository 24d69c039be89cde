// The CardDAV store of builds without libcurl and expat (the Windows build
// among them): every .carddav entry is a failing store.
#include "om/error_numbers.h"
#include "store/store_sources.h"

namespace standalone {
namespace {

class UnavailableCardDavStore final : public StoreSource {
 public:
  std::u16string StoreId() override { Fail(); }
  std::unique_ptr<FolderSource> OpenTopFolder() override { Fail(); }
  std::unique_ptr<FolderSource> OpenDefaultContactsFolder() override { Fail(); }

 private:
  [[noreturn]] static void Fail() { throw om::ObjectModelError(om::kMapiFailOneProvider); }
};

}  // namespace

std::unique_ptr<StoreSource> OpenCardDavStore(const std::string&) {
  return std::make_unique<UnavailableCardDavStore>();
}

}  // namespace standalone
