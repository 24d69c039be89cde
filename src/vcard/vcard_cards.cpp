#include "vcard/vcard_cards.h"

#include "vcard/vcard_scan.h"
#include "vcard/vcard_text.h"

namespace vcard {
namespace {

// ---- Finding cards: one pass over the lines of the file ----

// Code units of the file: bytes, or UTF-16 units after the byte-order mark.
struct Units {
  std::string_view file;
  std::size_t base;   // byte offset of unit 0
  std::size_t width;  // 1 or 2
  bool big_endian;
  std::size_t size() const { return (file.size() - base) / width; }
  char32_t at(std::size_t i) const {
    const auto* p = reinterpret_cast<const unsigned char*>(file.data() + base + i * width);
    if (width == 1) return p[0];
    return big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
  }
  std::size_t offset(std::size_t i) const { return base + i * width; }
};

enum class LineKind { kOther, kBegin, kEnd, kAgentOpen };

bool IsBlankUnit(char32_t c) { return c == ' ' || c == '\t'; }

// Matches `word` (upper case ASCII) at `i` without regard to case.
bool MatchWord(const Units& u, std::size_t& i, std::size_t end, std::string_view word) {
  if (end - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (text::ToUpperAscii(u.at(i + k)) != static_cast<unsigned char>(word[k])) return false;
  }
  i += word.size();
  return true;
}

void SkipBlanks(const Units& u, std::size_t& i, std::size_t end) {
  while (i < end && IsBlankUnit(u.at(i))) ++i;
}

// "BEGIN:VCARD" / "END:VCARD" (spaces tolerated around the parts), and an
// AGENT property with no value, whose value is the card on the next lines.
LineKind Classify(const Units& u, std::size_t begin, std::size_t end) {
  while (end > begin && IsBlankUnit(u.at(end - 1))) --end;
  std::size_t i = begin;
  if (MatchWord(u, i, end, "AGENT")) {
    const bool opens = i < end && (u.at(i) == ';' || u.at(i) == ':') && u.at(end - 1) == ':';
    return opens ? LineKind::kAgentOpen : LineKind::kOther;
  }
  const bool is_begin = MatchWord(u, i, end, "BEGIN");
  if (!is_begin && !MatchWord(u, i, end, "END")) return LineKind::kOther;
  SkipBlanks(u, i, end);
  if (i == end || u.at(i) != ':') return LineKind::kOther;
  ++i;
  SkipBlanks(u, i, end);
  if (!MatchWord(u, i, end, "VCARD") || i != end) return LineKind::kOther;
  return is_begin ? LineKind::kBegin : LineKind::kEnd;
}

struct Scan {
  std::vector<CardExtent> cards;
  std::size_t start = 0;  // unit index of the open card's BEGIN line
  int depth = 0;          // 0: outside a card; above 1: inside AGENT cards
  bool after_agent = false;
};

void Close(const Units& u, Scan& s, std::size_t end_unit) {
  s.cards.push_back({u.offset(s.start), (end_unit - s.start) * u.width});
  s.depth = 0;
}

// A BEGIN inside an open card starts a nested card only right after an
// AGENT property without value; otherwise the open card was cut off and a
// new one starts.
void OnLine(const Units& u, Scan& s, LineKind kind, std::size_t begin, std::size_t end) {
  if (kind == LineKind::kBegin) {
    if (s.depth == 0) {
      s.start = begin, s.depth = 1;
    } else if (s.depth > 1 || s.after_agent) {
      ++s.depth;
    } else {
      Close(u, s, begin);
      s.start = begin, s.depth = 1;
    }
  } else if (kind == LineKind::kEnd && s.depth > 0) {
    if (--s.depth == 0) Close(u, s, end);
  }
  s.after_agent = kind == LineKind::kAgentOpen;
}

// Where the line starting at unit `i` ends (at its CR or LF, or the end).
std::size_t LineEnd(const Units& u, std::size_t i) {
  const std::size_t n = u.size();
  if (u.width == 1) {  // the common case: bytes, searched in bulk
    const char* const data = u.file.data() + u.base;
    return static_cast<std::size_t>(FindLineBreak(data + i, data + n) - data);
  }
  while (i < n && u.at(i) != '\r' && u.at(i) != '\n') ++i;
  return i;
}

// The length of a byte-order mark at unit `i`, else 0. Files joined with cat
// keep each one's mark at the start of a line, where it is not text.
std::size_t MarkAt(const Units& u, std::size_t i) {
  if (u.width == 2) return u.at(i) == text::kByteOrderMark ? 1 : 0;
  return text::StartsWithUtf8Mark(u.file.substr(u.base + i)) ? text::kUtf8Mark.size() : 0;
}

std::vector<CardExtent> ScanCards(const Units& u) {
  Scan s;
  const std::size_t n = u.size();
  std::size_t i = 0;
  while (i < n) {
    i += MarkAt(u, i);
    if (i == n) break;
    // In a byte file, a line that starts with neither A, B nor E (folded
    // and base64 lines among them) can only end an AGENT line's hold on the
    // next BEGIN; with none pending, such lines are passed over in bulk up
    // to the next line that starts with one of them.
    if (u.width == 1 && !s.after_agent) {
      const char* const data = u.file.data() + u.base;
      const char c = data[i];
      const char lower = static_cast<char>(c | 0x20);
      if (c != '\r' && c != '\n' && lower != 'a' && lower != 'b' && lower != 'e') {
        i = static_cast<std::size_t>(FindLineStartingWithABE(data + i + 1, data + n) - data);
        continue;
      }
    }
    const std::size_t end = LineEnd(u, i);
    // CR LF, LF, CR CR LF or a lone CR, as the content-line reader takes them.
    std::size_t next = end;
    if (next + 1 < n && u.at(next) == '\r' && u.at(next + 1) == '\n') {
      next += 2;
    } else if (next + 2 < n && u.at(next) == '\r' && u.at(next + 1) == '\r' && u.at(next + 2) == '\n') {
      next += 3;
    } else if (next < n) {
      next += 1;
    }
    if (end > i) OnLine(u, s, Classify(u, i, end), i, end);
    i = next;
  }
  if (s.depth > 0) Close(u, s, n);
  return std::move(s.cards);
}

Units UnitsOf(std::string_view file) {
  std::size_t bom = 0;
  const FileEncoding encoding = DetectFileEncoding(file, bom);
  if (encoding == FileEncoding::kBytes) return {file, bom, 1, false};
  return {file, bom, 2, encoding == FileEncoding::kUtf16Be};
}

// ---- Card boundaries, for cutting a file into windows ----

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The line that ends just before `end` (after skipping blank lines), trimmed.
std::string_view PreviousLine(std::string_view text, std::size_t end) {
  while (end > 0 && IsBlank(text[end - 1])) --end;
  std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
  start = (start == std::string_view::npos || end == 0) ? 0 : start + 1;
  while (start < end && IsBlank(text[start])) ++start;
  return text.substr(start, end - start);
}

bool StartsCardLine(std::string_view text, std::size_t at) {
  constexpr std::string_view kBegin = "BEGIN:VCARD";
  if (text.size() - at <= kBegin.size()) return false;  // the line must be complete
  const char next = text[at + kBegin.size()];
  return EqualsNoCase(text.substr(at, kBegin.size()), kBegin) && (next == '\r' || next == '\n');
}

// Whether the line after the LF at `newline` starts a card after an ended one.
bool IsBoundaryAfter(std::string_view text, std::size_t newline) {
  return StartsCardLine(text, newline + 1) && EqualsNoCase(PreviousLine(text, newline), "END:VCARD");
}

}  // namespace

std::vector<CardExtent> FindCards(std::string_view file) { return ScanCards(UnitsOf(file)); }

std::size_t LastCardBoundary(std::string_view window) {
  std::size_t end = window.size();
  while (end > 0) {
    const std::size_t newline = window.rfind('\n', end - 1);
    if (newline == std::string_view::npos) return 0;
    if (IsBoundaryAfter(window, newline)) return newline + 1;
    end = newline;
  }
  return 0;
}

std::size_t FirstCardBoundary(std::string_view text, std::size_t from) {
  for (std::size_t at = from; at < text.size();) {
    const std::size_t newline = text.find('\n', at);
    if (newline == std::string_view::npos) return newline;
    if (IsBoundaryAfter(text, newline)) return newline + 1;
    at = newline + 1;
  }
  return std::string_view::npos;
}

}  // namespace vcard
