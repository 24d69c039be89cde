// The bytes of one WebDAV multistatus body through the CardDAV store's
// reader, fed whole and again in pieces cut where the input's first byte
// says (a body arrives in whatever pieces the network gives). Besides the
// sanitizers, the contract the store relies on is checked: the responses
// and the verdict do not depend on how the body was cut, and no text is
// longer than the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "store/carddav/carddav_xml.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Seen {
  bool ok = false;
  std::vector<std::string> summary;
};

Seen Parse(std::string_view body, std::size_t piece) {
  Seen seen;
  carddav::MultistatusParser parser([&](carddav::DavResponse& r) {
    Check(r.href.size() <= body.size() && r.addressData.size() <= body.size() &&
          r.displayName.size() <= body.size());
    seen.summary.push_back(r.href + '\0' + std::to_string(r.status) + '\0' + (r.collection ? "c" : "") +
                           (r.addressBook ? "a" : "") + '\0' + r.displayName + '\0' + r.principal + '\0' +
                           r.home + '\0' + r.addressData);
    return true;
  });
  bool fed = true;
  for (std::size_t at = 0; at < body.size() && fed; at += piece) fed = parser.Feed(body.substr(at, piece));
  seen.ok = fed && parser.Finish();
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const Seen whole = Parse(body, body.size() + 1);
  const Seen pieces = Parse(body, size ? 1 + data[0] % 61 : 1);
  Check(whole.ok == pieces.ok);
  if (whole.ok) Check(whole.summary == pieces.summary);
  return 0;
}
