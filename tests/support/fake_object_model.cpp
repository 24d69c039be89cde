#include "support/fake_object_model.h"

#include <cctype>

#include "om/contact_properties.h"
#include "om/error_numbers.h"

namespace fake {
namespace {

std::int64_t gCalls = 0;
int gNextEntryId = 0;

std::string Lower(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace

std::int64_t CallCount() { return gCalls; }
void ResetCallCount() { gCalls = 0; }

om::Value FakeObject::Get(std::string_view name, std::span<const om::Value> args) {
  ++gCalls;
  const std::string key = Lower(name);
  if (auto failure = failures_.find(key); failure != failures_.end()) {
    throw om::ObjectModelError(failure->second.first, failure->second.second);
  }
  if (key == "count" && (generatedCount >= 0 || !members_.count(key))) {
    return generatedCount >= 0 ? generatedCount : static_cast<std::int64_t>(elements.size());
  }
  if (key == "item") {
    if (args.size() != 1) throw om::ObjectModelError(om::kDispBadParamCount);
    const std::int64_t index = om::AsCount(args[0]);
    if (auto failure = failingItems.find(index); failure != failingItems.end()) {
      throw om::ObjectModelError(failure->second);
    }
    if (generatedCount >= 0 && index >= 1 && index <= generatedCount) return generate(index);
    if (index < 1 || index > static_cast<std::int64_t>(elements.size())) {
      throw om::ObjectModelError(om::kDispBadIndex);
    }
    return elements[static_cast<std::size_t>(index - 1)];
  }
  auto member = members_.find(key);
  if (member == members_.end()) throw om::ObjectModelError(om::kDispUnknownName);
  return member->second;
}

std::u16string FakeObject::TypeName() {
  ++gCalls;
  if (typeNameFailure != 0) throw om::ObjectModelError(typeNameFailure);
  return typeName_;
}

FakeObject& FakeObject::Set(std::string_view name, om::Value value) {
  members_[Lower(name)] = std::move(value);
  return *this;
}

FakeObject& FakeObject::Fail(std::string_view name, std::uint32_t number, std::string reason) {
  failures_[Lower(name)] = {number, std::move(reason)};
  return *this;
}

Ptr Collection(std::vector<om::Handle> elements) {
  auto collection = std::make_shared<FakeObject>(u"Items");
  collection->elements = std::move(elements);
  return collection;
}

Ptr Folder(std::vector<om::Handle> items, std::vector<om::Handle> subfolders) {
  auto folder = std::make_shared<FakeObject>(u"MAPIFolder");
  folder->Set("Items", Collection(std::move(items)));
  folder->Set("Folders", Collection(std::move(subfolders)));
  const std::string id = "folder-" + std::to_string(++gNextEntryId);
  folder->Set("EntryID", std::u16string(id.begin(), id.end()));
  folder->Set("StoreId", std::u16string(u"store"));
  return folder;
}

Ptr Contact(std::map<std::string, om::Value> properties) {
  auto contact = std::make_shared<FakeObject>(u"ContactItem");
  const om::ContactValues empty = om::EmptyContactValues();
  for (std::size_t i = 0; i < om::kContactPropertyCount; ++i) {
    contact->Set(om::kContactProperties[i].name, empty[i]);
  }
  for (auto& [name, value] : properties) contact->Set(name, value);
  return contact;
}

Ptr Item(std::u16string typeName) { return std::make_shared<FakeObject>(std::move(typeName)); }

Profile MakeProfile(om::Handle defaultFolder, std::vector<om::Handle> topLevel,
                    std::uint32_t defaultFolderFailure) {
  Profile profile;
  profile.application = std::make_shared<FakeObject>(u"Application");
  profile.nameSpace = std::make_shared<FakeObject>(u"NameSpace");
  profile.topFolders = Collection(std::move(topLevel));
  profile.application->Set("GetNamespace", profile.nameSpace);
  profile.nameSpace->Set("Folders", profile.topFolders);
  if (defaultFolderFailure != 0) {
    profile.nameSpace->Fail("GetDefaultFolder", defaultFolderFailure);
  } else {
    profile.nameSpace->Set("GetDefaultFolder", defaultFolder);
  }
  return profile;
}

}  // namespace fake
