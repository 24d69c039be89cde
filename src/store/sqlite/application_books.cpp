// An application's folder of address books as one store: a Thunderbird
// profile folder or an Evolution address-book folder (which folder is which
// is told by the profile's table of store kinds, store_kinds.cpp). The
// application's main book is the top folder and the default contacts folder;
// its other books are the subfolders, named as the application shows them
// where its settings say so.
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "store/fs.h"
#include "store/sqlite/sqlite_store.h"
#include "store/store_sources.h"
#include "text/unicode_text.h"

namespace store {
namespace {

// Settings files are small; a larger one is not read (its names are not used).
constexpr std::uint64_t kMaxSettingsSize = std::uint64_t{16} << 20;

// The JavaScript string literal at `at` in `text` (which stands at its
// opening quote), decoded to UTF-8; `at` moves past it. Nothing when there is
// no whole literal there.
std::optional<std::string> StringLiteral(std::string_view text, std::size_t& at) {
  if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return std::nullopt;
  const char quote = text[at++];
  std::string out;
  std::uint32_t highSurrogate = 0;
  while (at < text.size() && text[at] != quote) {
    char c = text[at++];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (at >= text.size()) return std::nullopt;
    c = text[at++];
    if (c == 'u' && at + 4 <= text.size()) {
      std::uint32_t unit = 0;
      for (int i = 0; i < 4; ++i) {
        const char h = text[at++];
        unit = unit * 16 + static_cast<std::uint32_t>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
      }
      if (unit >= 0xD800 && unit < 0xDC00) {
        highSurrogate = unit;
        continue;
      }
      if (unit >= 0xDC00 && unit < 0xE000 && highSurrogate != 0) {
        unit = 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00);
      }
      highSurrogate = 0;
      text::AppendUtf8CodePoint(unit, out);
    } else {
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
  }
  if (at >= text.size()) return std::nullopt;
  ++at;
  return out;
}

// The string preferences of prefs.js: user_pref("name", "value"); lines.
std::map<std::string, std::string> StringPreferences(std::string_view prefs) {
  std::map<std::string, std::string> found;
  constexpr std::string_view kCall = "user_pref(";
  for (std::size_t at = prefs.find(kCall); at != std::string_view::npos; at = prefs.find(kCall, at)) {
    at += kCall.size();
    std::optional<std::string> name = StringLiteral(prefs, at);
    if (!name) continue;
    while (at < prefs.size() && (prefs[at] == ',' || prefs[at] == ' ' || prefs[at] == '\t')) ++at;
    std::optional<std::string> value = StringLiteral(prefs, at);
    if (value) found[*name] = *value;
  }
  return found;
}

// Thunderbird's book names: the description of the server whose filename is
// the book's, unless it is a reference to Thunderbird's own translations.
std::map<std::string, std::string> ThunderbirdBookNames(const std::string& folder) {
  std::map<std::string, std::string> names;
  const std::optional<std::string> prefs = fs::ReadSmallFile(fs::JoinPath(folder, "prefs.js"), kMaxSettingsSize);
  if (!prefs) return names;
  const std::map<std::string, std::string> values = StringPreferences(*prefs);
  constexpr std::string_view kServer = "ldap_2.servers.";
  constexpr std::string_view kFile = ".filename";
  for (const auto& [key, file] : values) {
    if (!key.starts_with(kServer) || !key.ends_with(kFile)) continue;
    const std::string server = key.substr(0, key.size() - kFile.size());
    const auto description = values.find(server + ".description");
    if (description != values.end() && !description->second.empty() &&
        !description->second.starts_with("chrome://")) {
      names[file] = description->second;
    }
  }
  return names;
}

bool IsOtherThunderbirdBook(std::string_view name) {
  if (name == "history.sqlite") return true;
  constexpr std::string_view kLead = "abook-";
  constexpr std::string_view kSuffix = ".sqlite";
  if (!name.starts_with(kLead) || !name.ends_with(kSuffix)) return false;
  const std::string_view number = name.substr(kLead.size(), name.size() - kLead.size() - kSuffix.size());
  return !number.empty() && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The DisplayName= of Evolution's source file for the book `id`; the book
// of the folder "system" is the source "system-address-book".
std::optional<std::string> EvolutionDisplayName(const std::string& id) {
  std::optional<std::string> config = fs::GetEnvironment("XDG_CONFIG_HOME");
  if (!config || !fs::IsAbsolutePath(*config)) {
    const std::optional<std::string> home = fs::GetEnvironment("HOME");
    if (!home) return std::nullopt;
    config = fs::JoinPath(*home, ".config");
  }
  const std::string source = id == "system" ? "system-address-book" : id;
  const std::optional<std::string> text =
      fs::ReadSmallFile(fs::JoinPath(fs::JoinPath(fs::JoinPath(*config, "evolution"), "sources"), source + ".source"),
                        kMaxSettingsSize);
  if (!text) return std::nullopt;
  constexpr std::string_view kKey = "DisplayName=";
  for (std::size_t at = 0; at < text->size();) {
    std::size_t end = text->find('\n', at);
    if (end == std::string::npos) end = text->size();
    std::string_view line(text->data() + at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.starts_with(kKey)) return std::string(line.substr(kKey.size()));
    at = end + 1;
  }
  return std::nullopt;
}

}  // namespace

std::unique_ptr<StoreSource> OpenThunderbirdStore(const std::string& folder) {
  const std::map<std::string, std::string> names = ThunderbirdBookNames(folder);
  const auto entry = [&](const std::string& file) {
    const auto named = names.find(file);
    return BookEntry{fs::JoinPath(folder, file),
                     TextFromUtf8(named != names.end() ? named->second : file.substr(0, file.rfind('.')))};
  };
  std::vector<std::string> others;
  fs::ForEachEntry(folder, [&](std::string_view name, fs::EntryType type) {
    if (type != fs::EntryType::kDirectory && IsOtherThunderbirdBook(name)) others.emplace_back(name);
  });
  std::sort(others.begin(), others.end());
  std::vector<BookEntry> books;
  for (const std::string& file : others) books.push_back(entry(file));
  return MakeBookStore(entry("abook.sqlite"), std::move(books), fs::BaseName(folder), true);
}

std::unique_ptr<StoreSource> OpenEvolutionStore(const std::string& folder) {
  const auto entry = [&](const std::string& id) {
    const std::optional<std::string> name = EvolutionDisplayName(id);
    return BookEntry{fs::JoinPath(fs::JoinPath(folder, id), "contacts.db"), TextFromUtf8(name ? *name : id)};
  };
  std::vector<std::string> ids;
  fs::ForEachEntry(folder, [&](std::string_view name, fs::EntryType type) {
    if (name == "system" || name.starts_with('.') || type == fs::EntryType::kRegular) return;
    if (fs::IsFile(fs::JoinPath(fs::JoinPath(folder, std::string(name)), "contacts.db"))) ids.emplace_back(name);
  });
  std::sort(ids.begin(), ids.end());
  std::vector<BookEntry> books;
  for (const std::string& id : ids) books.push_back(entry(id));
  return MakeBookStore(entry("system"), std::move(books), fs::BaseName(folder), true);
}

}  // namespace store
