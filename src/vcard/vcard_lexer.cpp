#include "vcard/vcard_lexer.h"

#include "vcard/vcard_fields.h"
#include "vcard/vcard_scan.h"
#include "vcard/vcard_text.h"

namespace vcard {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

struct Line {
  std::size_t begin, end, next;
};

// Where the physical line at `pos` ends (`end`) and the next one starts
// (`next`). CR LF, LF, a lone CR and the CR CR LF that some phones write all
// end a line. The results are written where the caller keeps them: a line
// put together in a temporary and copied out costs more than finding it.
inline void FindLineEnd(std::string_view t, std::size_t pos, std::size_t& end, std::size_t& next) {
  const char* const data = t.data();
  const std::size_t i = static_cast<std::size_t>(FindLineBreak(data + pos, data + t.size()) - data);
  end = i;
  next = i + 1;
  if (i == t.size()) {
    next = i;
  } else if (t[i] == '\r') {
    if (i + 1 < t.size() && t[i + 1] == '\n') {
      next = i + 2;
    } else if (i + 2 < t.size() && t[i + 1] == '\r' && t[i + 2] == '\n') {
      next = i + 3;
    }
  }
}

// The start of the line after the one at `pos`.
std::size_t NextLine(std::string_view t, std::size_t pos) {
  std::size_t end, next;
  FindLineEnd(t, pos, end, next);
  return next;
}

// The line at `pos`, remembered for the next call at the same place.
Line LineAt(LineReader& r, std::size_t pos) {
  const bool same_text = r.line_text.data() == r.text.data() && r.line_text.size() == r.text.size();
  if (!same_text || r.line_begin != pos) {
    FindLineEnd(r.text, pos, r.line_end, r.line_next);
    r.line_text = r.text;
    r.line_begin = pos;
  }
  return {pos, r.line_end, r.line_next};
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Where the name and parameters of a content line end. Scanning resumes
// where it stopped, so that a header folded over many lines stays linear.
struct Header {
  std::size_t scanned = 0;
  bool in_params = false;
  bool in_quotes = false;
  std::size_t first_colon = kNone;
  std::size_t colon = kNone;  // the ':' outside quotes that ends the header
  std::size_t semi = kNone;   // the first ';' (which is never in quotes)
  std::size_t last_dot = kNone;  // the last '.' before the parameters
  bool quoted_printable = false;
  bool binary = false;
};

// `readable` is where the buffer `line` lies in ends.
void ScanHeader(std::string_view line, const char* readable, Header& h) {
  const char* const data = line.data();
  std::size_t i = h.scanned;
  while (true) {
    i = static_cast<std::size_t>(FindHeaderMark(data + i, data + line.size(), readable) - data);
    if (i == line.size()) break;
    const char c = line[i];
    if (c == ';' && !h.in_quotes) {
      if (!h.in_params) h.semi = i;
      h.in_params = true;
    } else if (c == '"' && h.in_params) {
      h.in_quotes = !h.in_quotes;
    } else if (c == ':') {
      if (h.first_colon == kNone) h.first_colon = i;
      if (!h.in_quotes) {
        h.colon = i;
        break;
      }
    } else if (c == '.' && !h.in_params) {
      h.last_dot = i;
    }
    ++i;
  }
  h.scanned = i;
}

// Whether the header, once its colon is found, has parameters.
bool HasParams(const Header& h) { return h.colon != kNone && h.semi < h.colon; }

// The parameters: from the first ';' before the header's colon up to it.
std::string_view ParamsOf(std::string_view line, const Header& h) {
  return h.semi < h.colon ? line.substr(h.semi, h.colon - h.semi) : std::string_view();
}

// Only a parameter holding QUOTED-PRINTABLE, BASE64 or B names an encoding:
// parameters with neither a 'q' nor a 'b' (TYPE=WORK, CHARSET=UTF-8) are not
// walked for one.
void ReadEncoding(std::string_view line, Header& h) {
  const std::string_view params = ParamsOf(line, h);
  if (!HasQOrB(params)) return;
  ForEachParam(params, [&](std::string_view name, std::string_view value) {
    value = TrimParamValue(value);
    if (!name.empty() && !EqualsNoCase(name, "ENCODING")) return;
    if (EqualsNoCase(value, "QUOTED-PRINTABLE")) h.quoted_printable = true;
    if (EqualsNoCase(value, "BASE64") || (!name.empty() && EqualsNoCase(value, "B"))) h.binary = true;
  });
}

// 2.1 writers do not always indent base64 data. A line of base64 characters
// (or an empty one) cannot be a property (it has no ':'), so such lines are
// passed over as data. The data is searched in bulk for the first byte that
// is no base64 character, blank or line end; the lines before the one it is
// on are data.
void SkipBase64Lines(LineReader& r) {
  const char* const data = r.text.data();
  const char* const end = data + r.text.size();
  const char* stop = FindNonBase64(data + r.pos, end);
  if (stop == end) {
    r.pos = r.text.size();
    return;
  }
  // Back to the start of its line: the last CR or LF before it ends the
  // line before (a CR there cannot be the first of a CR CR LF or CR LF, as
  // the byte after it is neither).
  while (stop > data + r.pos && stop[-1] != '\r' && stop[-1] != '\n') --stop;
  r.pos = static_cast<std::size_t>(stop - data);
}

// Passes over the folded lines of base64 data: every line from r.pos that
// starts with a space or tab. Line ends followed by a blank, and CR LF, are
// within the run; the first other CR or LF ends it, unless it starts a
// CR CR LF after which the run goes on.
void SkipIndentedLines(LineReader& r) {
  const std::string_view t = r.text;
  const char* const data = t.data();
  while (r.pos < t.size() && IsSpace(t[r.pos])) {
    const std::size_t at = static_cast<std::size_t>(FindUnfoldingBreak(data + r.pos, data + t.size()) - data);
    if (at == t.size()) {
      r.pos = t.size();
      return;
    }
    r.pos = NextLine(t, at);
  }
}

// A soft line break right before END:VCARD is a writer's slip; the card
// still ends there.
bool IsEndOfCard(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon != kNone && EqualsNoCase(Trim(line.substr(0, colon)), "END") &&
         EqualsNoCase(Trim(line.substr(colon + 1)), "VCARD");
}

void Describe(std::string_view line, const Header& h, RawProperty& p) {
  const std::string_view head = line.substr(0, h.colon);
  const std::string_view params = ParamsOf(line, h);
  const std::string_view full_name = Trim(head.substr(0, head.size() - params.size()));
  // The group ends at the last '.' of the name (never a trimmed blank).
  const std::size_t dot =
      h.last_dot == kNone ? kNone : h.last_dot - static_cast<std::size_t>(full_name.data() - line.data());
  p.group = dot == kNone ? std::string_view() : full_name.substr(0, dot);
  p.name = dot == kNone ? full_name : full_name.substr(dot + 1);
  p.params = params;
  p.quoted_printable = h.quoted_printable;
  p.binary = h.binary;
  p.value = h.binary ? std::string_view() : line.substr(h.colon + 1);
}

}  // namespace

void SplitParam(std::string_view params, std::size_t begin, std::size_t end, std::size_t eq,
                std::string_view& name, std::string_view& value) {
  if (begin < end && params[begin] == ';') ++begin;
  if (eq == kNone) {
    name = {};
    value = Trim(params.substr(begin, end - begin));
  } else {
    name = Trim(params.substr(begin, eq - begin));
    value = Trim(params.substr(eq + 1, end - eq - 1));
  }
}

std::string_view TrimParamValue(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

namespace {

// Appends to `line` the lines that continue it: folded lines, and for
// quoted-printable values the line after a soft line break. Base64 data is
// passed over without copying.
std::string_view JoinContinuations(LineReader& r, std::string_view line, Header& h) {
  bool joined = false;
  while (r.pos < r.text.size()) {
    // Data not decoded, without soft line breaks: only folded lines follow.
    if (h.binary && !h.quoted_printable) {
      SkipIndentedLines(r);
      break;
    }
    const Line next = LineAt(r, r.pos);
    const std::string_view n = r.text.substr(next.begin, next.end - next.begin);
    // A quoted-printable line ending in '=' continues on the next line
    // whatever that starts with; otherwise a leading space or tab folds.
    const bool soft = h.colon != kNone && h.quoted_printable && !line.empty() && line.back() == '=' &&
                      !IsEndOfCard(n);
    const bool fold = !n.empty() && IsSpace(n.front());
    if (!soft && !fold) break;
    r.pos = next.next;
    if (h.binary) continue;
    if (!joined) r.scratch.assign(line);
    joined = true;
    if (soft) r.scratch.pop_back();
    // Past the longest value anyone reads, lines are passed over, not kept.
    if (r.scratch.size() < kMaxValueBytes) r.scratch.append(soft ? n : n.substr(1));
    line = r.scratch;
    if (h.colon == kNone) {
      ScanHeader(line, r.scratch.data() + r.scratch.size(), h);
      if (HasParams(h)) ReadEncoding(line, h);
    }
  }
  return line;
}

}  // namespace

bool NextProperty(LineReader& r, RawProperty& p) {
  const std::string_view t = r.text;
  while (r.pos < t.size()) {
    Line first = LineAt(r, r.pos);
    r.pos = first.next;
    // A byte-order mark at the start of a line (files joined with cat) is not text.
    if (text::StartsWithUtf8Mark(t.substr(first.begin, first.end - first.begin))) {
      first.begin += text::kUtf8Mark.size();
    }
    // Blank lines, and continuation lines of a line that was passed over.
    if (first.begin == first.end || IsSpace(t[first.begin])) continue;
    std::string_view line = t.substr(first.begin, first.end - first.begin);
    Header h;
    ScanHeader(line, t.data() + t.size(), h);
    if (HasParams(h)) ReadEncoding(line, h);
    line = JoinContinuations(r, line, h);
    if (h.colon == kNone) {
      // An unbalanced quote in the parameters: the first ':' ends them.
      if (h.first_colon == kNone) continue;
      h.colon = h.first_colon;
      if (HasParams(h)) ReadEncoding(line, h);
    }
    if (h.binary) SkipBase64Lines(r);
    Describe(line, h, p);
    return true;
  }
  return false;
}

}  // namespace vcard
