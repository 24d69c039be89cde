// The object-model objects of the stand-alone store: application, namespace,
// folders, the two kinds of collection, and items. They only translate member
// reads into calls on the store and folder sources (store_sources.h).
#include <array>
#include <span>

#include "om/error_numbers.h"
#include "store/store_kinds.h"
#include "store/store_sources.h"

namespace store {
namespace {

using om::Handle;
using om::ObjectModelError;
using om::Value;

constexpr std::int64_t kFolderContacts = 10;  // olFolderContacts

// One readable member of an object: its name (matched without case), how
// many arguments it takes, and what reading it does.
template <typename Self>
struct Member {
  std::string_view name;
  std::size_t arity;
  Value (*read)(Self& self, std::span<const Value> args);
};

template <typename Self, std::size_t N>
Value ReadMember(Self& self, const std::array<Member<Self>, N>& members, std::string_view name,
                 std::span<const Value> args) {
  for (const Member<Self>& member : members) {
    if (!EqualsNoCase(member.name, name)) continue;
    if (args.size() != member.arity) throw ObjectModelError(om::kDispBadParamCount);
    return member.read(self, args);
  }
  throw ObjectModelError(om::kDispUnknownName);
}

std::int64_t NumberArgument(const Value& value) {
  if (const std::int64_t* number = std::get_if<std::int64_t>(&value)) return *number;
  throw ObjectModelError(om::kTypeMismatch);
}

// The 0-based position of the 1-based index `value` in a collection of `count`.
std::size_t IndexArgument(const Value& value, std::size_t count) {
  const std::int64_t index = NumberArgument(value);
  if (index < 1 || static_cast<std::uint64_t>(index) > count) throw ObjectModelError(om::kDispBadIndex);
  return static_cast<std::size_t>(index - 1);
}

Value Count(std::size_t count) { return static_cast<std::int64_t>(count); }

// An item, item `index` of `folder`. Beside the contact properties it
// answers "SourceLocation" (no member of Outlook's): where it lies in its
// store, which its folder works out only when asked.
class Item final : public om::Object {
 public:
  Item(ItemData data, std::shared_ptr<FolderSource> folder, std::size_t index)
      : data_(std::move(data)), folder_(std::move(folder)), index_(index) {}

  // The values were read when the item was fetched; a property read is a
  // lookup of its column.
  Value Get(std::string_view name, std::span<const Value> args) override {
    if (const Value* value = Property(name, args)) return *value;
    return Other(name, args);
  }
  void GetInto(std::string_view name, std::span<const Value> args, Value& out) override {
    const Value* value = Property(name, args);
    if (value == nullptr) {
      out = Other(name, args);
      return;
    }
    const std::u16string* text = std::get_if<std::u16string>(value);
    std::u16string* into = std::get_if<std::u16string>(&out);
    if (text && into) {
      into->assign(*text);
    } else {
      out = *value;
    }
  }
  std::u16string TypeName() override { return std::u16string(om::ItemTypeName(data_.kind)); }

 private:
  // The column `name` names; nothing when it names none.
  const Value* Property(std::string_view name, std::span<const Value> args) {
    const std::optional<std::size_t> column = ColumnOf(name);
    if (!column) return nullptr;
    if (!data_.properties) throw ObjectModelError(om::kDispUnknownName);
    if (!args.empty()) throw ObjectModelError(om::kDispBadParamCount);
    next_ = *column + 1;
    return &(*data_.properties)[*column];
  }

  Value Other(std::string_view name, std::span<const Value> args) {
    if (!EqualsNoCase(name, "SourceLocation")) throw ObjectModelError(om::kDispUnknownName);
    if (!args.empty()) throw ObjectModelError(om::kDispBadParamCount);
    const std::string location = folder_->Location(index_);
    if (location.empty()) throw ObjectModelError(om::kDispUnknownName);
    return TextFromUtf8(location);
  }

  // The export reads the columns in order, passing the table's own names:
  // the column after the last one read is tried first, by address (the same
  // address and length are the same characters, so this is never wrong; any
  // other name is looked up; see kContactProperties).
  std::optional<std::size_t> ColumnOf(std::string_view name) const {
    if (next_ < om::kContactPropertyCount) {
      const std::string_view guess = om::kContactProperties[next_].name;
      if (guess.data() == name.data() && guess.size() == name.size()) return next_;
    }
    return om::FindContactProperty(name);
  }

  ItemData data_;
  std::shared_ptr<FolderSource> folder_;
  std::size_t index_;
  std::size_t next_ = 0;
};

class Items final : public om::Object {
 public:
  explicit Items(std::shared_ptr<FolderSource> folder) : folder_(std::move(folder)) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Items>, 2> kMembers{{
        {"Count", 0, [](Items& self, std::span<const Value>) { return Count(self.folder_->ItemCount()); }},
        {"Item", 1, [](Items& self, std::span<const Value> args) -> Value {
           const std::size_t index = IndexArgument(args[0], self.folder_->ItemCount());
           return Handle(std::make_shared<Item>(self.folder_->FetchItem(index), self.folder_, index));
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Items"; }

 private:
  std::shared_ptr<FolderSource> folder_;
};

class Folder final : public om::Object {
 public:
  // A folder of `store`.
  Folder(std::shared_ptr<StoreSource> store, std::shared_ptr<FolderSource> folder)
      : store_(std::move(store)), folder_(std::move(folder)) {}
  // The top-level folder of a store that failed with `failure`: every read
  // of it fails as the store did.
  Folder(std::shared_ptr<StoreSource> store, ObjectModelError failure)
      : store_(std::move(store)), failure_(std::move(failure)) {}

  Value Get(std::string_view name, std::span<const Value> args) override;
  std::u16string TypeName() override { return u"MAPIFolder"; }

 private:
  FolderSource& Source() {
    if (!folder_) throw failure_;
    return *folder_;
  }

  std::shared_ptr<StoreSource> store_;
  std::shared_ptr<FolderSource> folder_;
  ObjectModelError failure_{om::kMapiFailOneProvider};
};

// The subfolders of a folder.
class Subfolders final : public om::Object {
 public:
  Subfolders(std::shared_ptr<StoreSource> store, std::shared_ptr<FolderSource> folder)
      : store_(std::move(store)), folder_(std::move(folder)) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Subfolders>, 2> kMembers{{
        {"Count", 0, [](Subfolders& self, std::span<const Value>) { return Count(self.folder_->SubfolderCount()); }},
        {"Item", 1, [](Subfolders& self, std::span<const Value> args) -> Value {
           const std::size_t index = IndexArgument(args[0], self.folder_->SubfolderCount());
           return Handle(std::make_shared<Folder>(self.store_, self.folder_->OpenSubfolder(index)));
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Folders"; }

 private:
  std::shared_ptr<StoreSource> store_;
  std::shared_ptr<FolderSource> folder_;
};

Value Folder::Get(std::string_view name, std::span<const Value> args) {
  static constexpr std::array<Member<Folder>, 5> kMembers{{
      {"StoreID", 0, [](Folder& self, std::span<const Value>) -> Value { return self.store_->StoreId(); }},
      {"EntryID", 0, [](Folder& self, std::span<const Value>) -> Value { return self.Source().EntryId(); }},
      {"Name", 0, [](Folder& self, std::span<const Value>) -> Value { return self.Source().Name(); }},
      {"Items", 0, [](Folder& self, std::span<const Value>) -> Value {
         self.Source();
         return Handle(std::make_shared<Items>(self.folder_));
       }},
      {"Folders", 0, [](Folder& self, std::span<const Value>) -> Value {
         self.Source();
         return Handle(std::make_shared<Subfolders>(self.store_, self.folder_));
       }},
  }};
  return ReadMember(*this, kMembers, name, args);
}

// The top-level folder of `store`: the folder of a failing store is still an
// object, so that the export can ask it for its store identifier.
Handle TopFolder(const std::shared_ptr<StoreSource>& store) {
  try {
    return std::make_shared<Folder>(store, store->OpenTopFolder());
  } catch (const ObjectModelError& error) {
    return std::make_shared<Folder>(store, error);
  }
}

// The top-level folders of the profile, one per store.
class StoreFolders final : public om::Object {
 public:
  explicit StoreFolders(std::shared_ptr<const StoreList> stores) : stores_(std::move(stores)) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<StoreFolders>, 2> kMembers{{
        {"Count", 0, [](StoreFolders& self, std::span<const Value>) { return Count(self.stores_->size()); }},
        {"Item", 1, [](StoreFolders& self, std::span<const Value> args) -> Value {
           return TopFolder((*self.stores_)[IndexArgument(args[0], self.stores_->size())].source);
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Folders"; }

 private:
  std::shared_ptr<const StoreList> stores_;
};

// A store of the profile, with Outlook's members and two of its own:
// "StoreKind", the kind of store (store_kinds.h), and, for a store on a
// server, "ServerURL". What the profile knows of it is read without opening
// it; the other members open it.
class Store final : public om::Object {
 public:
  explicit Store(ProfileStore store) : store_(std::move(store)) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Store>, 6> kMembers{{
        {"DisplayName", 0, [](Store& self, std::span<const Value>) -> Value { return TextFromUtf8(self.store_.name); }},
        {"FilePath", 0, [](Store& self, std::span<const Value>) -> Value { return TextFromUtf8(self.store_.path); }},
        {"StoreID", 0, [](Store& self, std::span<const Value>) -> Value { return self.store_.source->StoreId(); }},
        // The top folder, as the namespace's folders give it; a store that
        // cannot be opened fails here, with its reason.
        {"GetRootFolder", 0, [](Store& self, std::span<const Value>) -> Value {
           return Handle(std::make_shared<Folder>(self.store_.source, self.store_.source->OpenTopFolder()));
         }},
        {"StoreKind", 0, [](Store& self, std::span<const Value>) -> Value {
           if (self.store_.kind == nullptr) throw ObjectModelError(om::kDispUnknownName);
           return TextFromUtf8(self.store_.kind->name);
         }},
        {"ServerURL", 0, [](Store& self, std::span<const Value>) -> Value {
           if (self.store_.kind == nullptr || !NamesServer(*self.store_.kind)) {
             throw ObjectModelError(om::kDispUnknownName);
           }
           std::string failure;
           const std::optional<std::string> url = CardDavServerUrl(self.store_.path, failure);
           if (!url) throw ObjectModelError(om::kMapiNotFound, std::move(failure));
           return TextFromUtf8(*url);
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Store"; }

 private:
  ProfileStore store_;
};

// The profile's stores, in the order of the namespace's folders.
class Stores final : public om::Object {
 public:
  explicit Stores(std::shared_ptr<const StoreList> stores) : stores_(std::move(stores)) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Stores>, 2> kMembers{{
        {"Count", 0, [](Stores& self, std::span<const Value>) { return Count(self.stores_->size()); }},
        {"Item", 1, [](Stores& self, std::span<const Value> args) -> Value {
           return Handle(std::make_shared<Store>((*self.stores_)[IndexArgument(args[0], self.stores_->size())]));
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Stores"; }

 private:
  std::shared_ptr<const StoreList> stores_;
};

class Namespace final : public om::Object {
 public:
  explicit Namespace(StoreList stores) : stores_(std::make_shared<const StoreList>(std::move(stores))) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Namespace>, 4> kMembers{{
        {"GetDefaultFolder", 1, [](Namespace& self, std::span<const Value> args) -> Value {
           // Contacts are all this store holds; the default store is the first.
           if (NumberArgument(args[0]) != kFolderContacts) throw ObjectModelError(om::kMapiNotFound);
           if (self.stores_->empty()) throw ObjectModelError(om::kMapiNotFound, "the profile holds no store");
           const std::shared_ptr<StoreSource>& store = self.stores_->front().source;
           return Handle(std::make_shared<Folder>(store, store->OpenDefaultContactsFolder()));
         }},
        {"Folders", 0, [](Namespace& self, std::span<const Value>) -> Value {
           return Handle(std::make_shared<StoreFolders>(self.stores_));
         }},
        {"Stores", 0, [](Namespace& self, std::span<const Value>) -> Value {
           return Handle(std::make_shared<Stores>(self.stores_));
         }},
        {"DefaultStore", 0, [](Namespace& self, std::span<const Value>) -> Value {
           if (self.stores_->empty()) throw ObjectModelError(om::kMapiNotFound, "the profile holds no store");
           return Handle(std::make_shared<Store>(self.stores_->front()));
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"NameSpace"; }

 private:
  std::shared_ptr<const StoreList> stores_;
};

bool IsMapi(const Value& value) {
  const std::u16string* text = std::get_if<std::u16string>(&value);
  if (text == nullptr) throw ObjectModelError(om::kTypeMismatch);
  std::string ascii;
  for (char16_t c : *text) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return EqualsNoCase(ascii, "MAPI");
}

class Application final : public om::Object {
 public:
  explicit Application(StoreList stores) : namespace_(std::make_shared<Namespace>(std::move(stores))) {}

  Value Get(std::string_view name, std::span<const Value> args) override {
    static constexpr std::array<Member<Application>, 1> kMembers{{
        {"GetNamespace", 1, [](Application& self, std::span<const Value> args) -> Value {
           // "MAPI" is the only kind of namespace there is.
           if (!IsMapi(args[0])) throw ObjectModelError(om::kMapiNotFound);
           return Handle(self.namespace_);
         }},
    }};
    return ReadMember(*this, kMembers, name, args);
  }
  std::u16string TypeName() override { return u"Application"; }

 private:
  Handle namespace_;
};

}  // namespace

om::Handle CreateApplicationForStores(StoreList stores) {
  return std::make_shared<Application>(std::move(stores));
}

}  // namespace store
