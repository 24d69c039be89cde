// An object model held in memory, built in a few lines per test: folders,
// items, stores and properties, with failures injectable on any member of any
// object and the calls counted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "om/object_model.h"

namespace fake {

class FakeObject : public om::Object {
 public:
  explicit FakeObject(std::u16string typeName) : typeName_(std::move(typeName)) {}

  om::Value Get(std::string_view name, std::span<const om::Value> args) override;
  std::u16string TypeName() override;

  // A member that yields `value` (names are matched without case).
  FakeObject& Set(std::string_view name, om::Value value);
  // A member that fails with `number` (and `reason`) whenever it is read.
  FakeObject& Fail(std::string_view name, std::uint32_t number, std::string reason = {});
  // Elements served by Item(i) and counted by Count (for collections).
  std::vector<om::Handle> elements;
  // Item(i) for these indexes fails with the number given.
  std::map<std::int64_t, std::uint32_t> failingItems;
  // A collection whose Count is this and whose Item(i) is made on demand.
  std::int64_t generatedCount = -1;
  std::function<om::Handle(std::int64_t)> generate;
  std::uint32_t typeNameFailure = 0;

 private:
  std::u16string typeName_;
  std::map<std::string, om::Value> members_;
  std::map<std::string, std::pair<std::uint32_t, std::string>> failures_;
};

using Ptr = std::shared_ptr<FakeObject>;

// Counts every Get and TypeName made on fake objects.
std::int64_t CallCount();
void ResetCallCount();

Ptr Collection(std::vector<om::Handle> elements);
// A folder with these items and subfolders; EntryID is a fresh unique text.
Ptr Folder(std::vector<om::Handle> items, std::vector<om::Handle> subfolders = {});
// A contact with the given properties; all other contact properties are
// empty texts, the dates are 4501-01-01, like an Outlook contact.
Ptr Contact(std::map<std::string, om::Value> properties);
Ptr Item(std::u16string typeName);

// An application whose namespace has `defaultFolder` (or fails with
// `defaultFolderFailure`) and these top-level folders.
struct Profile {
  Ptr application;
  Ptr nameSpace;
  Ptr topFolders;
};
Profile MakeProfile(om::Handle defaultFolder, std::vector<om::Handle> topLevel = {},
                    std::uint32_t defaultFolderFailure = 0);

}  // namespace fake
