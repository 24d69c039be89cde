// Helpers for tests of the stand-alone store: cards to write into temporary
// profiles, and a walk of what the store serves, written as one short text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "text/native_path.h"
#include "om/error_numbers.h"
#include "om/object_model.h"
#include "store/store_sources.h"
#include "support/test_files.h"

namespace storetest {

// A vCard 3.0 card whose family name is `last`, with extra property lines.
inline std::string Card(std::string_view last, std::string_view extra = "") {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + std::string(last) + ";;;;\r\nFN:" + std::string(last) + "\r\n" +
         std::string(extra) + "END:VCARD\r\n";
}

// UTF-8 bytes of a text, as the store's file names and cards hold them.
inline std::string Utf8(std::u16string_view text) { return text::PathTextToBytes(text); }

template <typename F>
std::uint32_t ErrorOf(F&& action) {
  try {
    action();
  } catch (const om::ObjectModelError& error) {
    return error.number();
  }
  return 0;
}

// How an action failed: its error number (0 when it did not fail) and reason.
struct Failure {
  std::uint32_t number = 0;
  std::string reason;
};
template <typename F>
Failure FailureOf(F&& action) {
  try {
    action();
  } catch (const om::ObjectModelError& error) {
    return {error.number(), std::string(error.reason())};
  }
  return {};
}

// Paths from and to the store's UTF-8 names (a narrow path on Windows would
// be in the ANSI code page).
inline std::filesystem::path U8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string PathBytes(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline om::Handle OpenNamespace(const std::filesystem::path& profile) {
  const om::Handle app = store::CreateStandaloneApplicationAt(PathBytes(profile));
  return om::AsObject(om::Get(app, "GetNamespace", om::Value(std::u16string(u"MAPI"))));
}

inline om::Handle Member(const om::Handle& object, std::string_view name) {
  return om::AsObject(om::Get(object, name));
}

inline om::Handle At(const om::Handle& collection, std::int64_t index) {
  return om::AsObject(om::Get(collection, "Item", om::Value(index)));
}

inline std::int64_t CountOf(const om::Handle& object, std::string_view collection) {
  return om::AsCount(om::Get(Member(object, collection), "Count"));
}

inline std::string Text(const om::Value& value) {
  const std::u16string* text = std::get_if<std::u16string>(&value);
  return text ? Utf8(*text) : "<not text>";
}

// One item as a word: its last name, "group:" and its FileAs for a group, "!"
// for an item whose fetch fails with MAPI_E_CORRUPT_DATA.
inline std::string ItemWord(const om::Handle& items, std::int64_t index) {
  om::Handle item;
  const std::uint32_t error = ErrorOf([&] { item = At(items, index); });
  if (error == om::kMapiCorruptData) return "!";
  if (error != 0) return "error";
  if (item->TypeName() == u"DistListItem") return "group:" + Text(om::Get(item, "FileAs"));
  return Text(om::Get(item, "lastname"));
}

// The folder and everything below it: "Name[item,item](Sub[...],Sub[...])".
inline std::string Tree(const om::Handle& folder) {
  std::string text = Text(om::Get(folder, "Name")) + "[";
  const om::Handle items = Member(folder, "Items");
  const std::int64_t count = om::AsCount(om::Get(items, "Count"));
  for (std::int64_t i = 1; i <= count; ++i) text += (i > 1 ? "," : "") + ItemWord(items, i);
  text += "]";
  const om::Handle folders = Member(folder, "Folders");
  const std::int64_t subfolders = om::AsCount(om::Get(folders, "Count"));
  for (std::int64_t i = 1; i <= subfolders; ++i) {
    text += (i == 1 ? "(" : ",") + Tree(At(folders, i)) + (i == subfolders ? ")" : "");
  }
  return text;
}

// How the first folder under `folder` (itself included, depth first) that
// cannot be listed fails; nothing failing when every one can.
inline Failure FirstFolderFailure(const om::Handle& folder) {
  std::int64_t count = 0;
  Failure failure = FailureOf([&] { om::AsCount(om::Get(Member(folder, "Items"), "Count")); });
  if (failure.number == 0) failure = FailureOf([&] { count = CountOf(folder, "Folders"); });
  for (std::int64_t i = 1; failure.number == 0 && i <= count; ++i) {
    om::Handle sub;
    failure = FailureOf([&] { sub = At(Member(folder, "Folders"), i); });
    if (failure.number == 0) failure = FirstFolderFailure(sub);
  }
  return failure;
}

// The names of the profile's top-level folders, one per store.
inline std::string StoreNames(const om::Handle& ns) {
  const om::Handle folders = Member(ns, "Folders");
  std::string names;
  const std::int64_t count = om::AsCount(om::Get(folders, "Count"));
  for (std::int64_t i = 1; i <= count; ++i) {
    std::string name;
    if (ErrorOf([&] { name = Text(om::Get(At(folders, i), "Name")); }) != 0) name = "<failing>";
    names += (i > 1 ? "," : "") + name;
  }
  return names;
}

// A temporary folder in which tests build profiles.
class ProfileTest : public testing::Test {
 protected:
  std::filesystem::path Dir(std::string_view relative) {
    std::filesystem::create_directories(dir_.path() / U8(relative));
    return dir_.path() / U8(relative);
  }
  void Write(std::string_view relative, const std::string& bytes) {
    testfiles::WriteBytes(dir_.path() / U8(relative), bytes);
  }
  std::filesystem::path Path(std::string_view relative) const { return dir_.path() / U8(relative); }
  static om::Handle DefaultFolder(const om::Handle& ns) {
    return om::AsObject(om::Get(ns, "GetDefaultFolder", om::Value(std::int64_t{10})));
  }

  testfiles::TempDir dir_;
};

}  // namespace storetest
