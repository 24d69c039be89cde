// The counting wrapper must count every call that reaches the real object
// model, no more and no fewer, and must not change what the calls do.
#include "counting_object_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "om/contact_properties.h"

namespace {

// A small object model in memory: named members giving values, elements for
// Item/Count, one failing member; counts what reaches it.
int gInnerCalls = 0;

class Node final : public om::Object {
 public:
  explicit Node(std::u16string type) : type_(std::move(type)) {}

  om::Value Get(std::string_view name, std::span<const om::Value> args) override {
    ++gInnerCalls;
    std::string key;
    for (char c : name) key.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    lastArgs.assign(args.begin(), args.end());
    if (key == "fails") throw om::ObjectModelError(0x8004011B);
    if (key == "count") return static_cast<std::int64_t>(elements.size());
    if (key == "item") return elements.at(static_cast<std::size_t>(std::get<std::int64_t>(args[0]) - 1));
    const auto found = members.find(key);
    if (found == members.end()) throw om::ObjectModelError(0x80020006);
    return found->second;
  }
  std::u16string TypeName() override {
    ++gInnerCalls;
    return type_;
  }

  std::map<std::string, om::Value> members;  // lower-case names
  std::vector<om::Handle> elements;
  std::vector<om::Value> lastArgs;

 private:
  std::u16string type_;
};

std::shared_ptr<Node> MakeNode(std::u16string type) { return std::make_shared<Node>(std::move(type)); }

class CountingTest : public testing::Test {
 protected:
  void SetUp() override {
    bench::ResetCounts();
    gInnerCalls = 0;
  }
};

TEST_F(CountingTest, CountsEveryCallDownTheTreeAndPassesResultsThrough) {
  auto item = MakeNode(u"ContactItem");
  item->members["lastname"] = std::u16string(u"佐藤");
  auto items = MakeNode(u"Items");
  items->elements = {item, item};
  auto folder = MakeNode(u"MAPIFolder");
  folder->members["items"] = om::Handle(items);

  const om::Handle counted = bench::WrapCounting(folder);
  const om::Handle countedItems = om::AsObject(om::Get(counted, "Items"));
  ASSERT_NE(countedItems, items) << "a returned object must come back wrapped";
  EXPECT_EQ(om::AsCount(om::Get(countedItems, "Count")), 2);
  for (std::int64_t i = 1; i <= 2; ++i) {
    const om::Handle countedItem = om::AsObject(om::Get(countedItems, "Item", i));
    EXPECT_EQ(om::TypeNameOf(countedItem), u"ContactItem");
    EXPECT_EQ(om::Get(countedItem, "LastName"), om::Value(std::u16string(u"佐藤")));
  }

  const bench::CallCounts& counts = bench::Counts();
  EXPECT_EQ(counts.total, 8u);
  EXPECT_EQ(counts.total, static_cast<std::uint64_t>(gInnerCalls));
  EXPECT_EQ(counts.failed, 0u);
  const std::map<std::string, std::uint64_t> expected{
      {"items", 1}, {"count", 1}, {"item", 2}, {"typename", 2}, {"lastname", 2}};
  EXPECT_EQ(counts.byMember, expected);
}

TEST_F(CountingTest, FailedCallsAreCountedAndFailTheSameWay) {
  const om::Handle counted = bench::WrapCounting(MakeNode(u"MAPIFolder"));
  try {
    om::Get(counted, "Fails");
    FAIL() << "the failure must reach the caller";
  } catch (const om::ObjectModelError& error) {
    EXPECT_EQ(error.number(), 0x8004011Bu);
  }
  EXPECT_THROW(om::Get(counted, "NoSuchMember"), om::ObjectModelError);
  EXPECT_EQ(bench::Counts().total, 2u);
  EXPECT_EQ(bench::Counts().failed, 2u);
}

TEST_F(CountingTest, NothingStaysNothingAndArgumentsReachTheModelUnwrapped) {
  EXPECT_EQ(bench::WrapCounting(nullptr), nullptr);
  auto folder = MakeNode(u"MAPIFolder");
  folder->members["parent"] = om::Handle();
  const om::Handle counted = bench::WrapCounting(folder);
  EXPECT_EQ(om::AsObject(om::Get(counted, "Parent")), nullptr);

  auto other = MakeNode(u"MAPIFolder");
  folder->members["moveto"] = std::int64_t{1};
  om::Get(counted, "MoveTo", om::Value(bench::WrapCounting(other)));
  ASSERT_EQ(folder->lastArgs.size(), 1u);
  EXPECT_EQ(std::get<om::Handle>(folder->lastArgs[0]), other);
}

// A profile of `contacts` contacts in a folder with one subfolder, served
// through the counting wrapper to the real run sequence.
om::Handle gApplication;
om::Handle CountingApplication(std::u16string_view) { return bench::WrapCounting(gApplication); }
void NoPause(unsigned) {}
bool NoOtherInstance() { return true; }

std::shared_ptr<Node> FolderOf(const std::vector<om::Handle>& contacts, std::vector<om::Handle> subfolders) {
  auto items = MakeNode(u"Items");
  items->elements = contacts;
  auto folders = MakeNode(u"Folders");
  folders->elements = std::move(subfolders);
  auto folder = MakeNode(u"MAPIFolder");
  folder->members["items"] = om::Handle(items);
  folder->members["folders"] = om::Handle(folders);
  static int nextId = 0;
  const std::string id = "F" + std::to_string(++nextId);
  folder->members["entryid"] = std::u16string(id.begin(), id.end());
  return folder;
}

TEST_F(CountingTest, AWholeExportCountsWhatTheStoreServes) {
  auto contact = MakeNode(u"ContactItem");
  for (const om::ContactProperty& property : om::kContactProperties) {
    std::string key;
    for (char c : property.name) key.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    contact->members[key] = property.kind == om::PropertyKind::kDate ? om::Value(om::kNoDate)
                                                                     : om::Value(std::u16string(u"x"));
  }
  const std::vector<om::Handle> three(3, contact), two(2, contact);
  auto root = FolderOf(three, {FolderOf(two, {})});
  auto nameSpace = MakeNode(u"NameSpace");
  nameSpace->members["getdefaultfolder"] = om::Handle(root);
  auto application = MakeNode(u"Application");
  application->members["getnamespace"] = om::Handle(nameSpace);
  gApplication = application;

  app::SetObjectFactory(CountingApplication);
  app::SetSleepFunction(NoPause);
  app::SetInstanceCheck(NoOtherInstance);
  const std::string output = testing::TempDir() + "counting_test.csv";
  const int result = app::RunSequence(std::u16string(output.begin(), output.end()));
  app::SetObjectFactory(nullptr);
  app::SetSleepFunction(nullptr);
  app::SetInstanceCheck(nullptr);
  gApplication.reset();

  EXPECT_EQ(result, 0);
  std::ifstream in(output, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(output.c_str());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
  const bench::CallCounts& counts = bench::Counts();
  EXPECT_EQ(counts.total, static_cast<std::uint64_t>(gInnerCalls));
  // Each contact: fetched, its type asked, each property read once.
  EXPECT_EQ(counts.byMember.at("typename"), 5u);
  EXPECT_EQ(counts.byMember.at("lastname"), 5u);
  EXPECT_EQ(counts.byMember.at("anniversary"), 5u);
  EXPECT_GE(counts.byMember.at("item"), 5u);
}

}  // namespace
