#include "store/carddav/carddav_connection.h"

#include "store/carddav/carddav_origin.h"
#include "store/carddav/carddav_url.h"
#include "store/carddav/netrc.h"
#include "store/store_sources.h"

namespace carddav {

Connection::Outcome Connection::Multistatus(Method method, const std::string& url, const char* depth,
                                            std::string body,
                                            const std::function<bool(DavResponse&)>& onResponse) {
  MultistatusParser parser(onResponse);
  const std::optional<Credentials> none;
  const Response response = Send(*handle_, {method, url, depth, std::move(body)},
                                 MaySendLogin(file_.url, url) ? Login() : none,
                                 [&](std::string_view bytes) { return parser.Feed(bytes); });
  Outcome outcome{response.status, false, response.effectiveUrl};
  outcome.complete = response.completed && response.status == 207 && parser.Finish();
  return outcome;
}

std::string Unanswered(const Connection::Outcome& outcome, const std::string& url) {
  const std::string where = store::Printable(WithoutUserInfo(url));
  if (outcome.status == 0) return "no answer from " + where;
  if (outcome.status != 207) return "HTTP " + std::to_string(outcome.status) + " from " + where;
  return "an incomplete or malformed multistatus from " + where;
}

// Read when the store first sends a request, and only then.
const std::optional<Credentials>& Connection::Login() {
  if (!loginRead_) {
    loginRead_ = true;
    const std::optional<std::string> path = NetrcPath();
    const std::optional<std::string> text = path ? ReadSmallFile(*path) : std::nullopt;
    if (text) {
      if (std::optional<carddav::Login> login = FindLogin(*text, HostOf(file_.url), file_.user)) {
        credentials_ = Credentials{std::move(login->user), std::move(login->password)};
      }
    }
  }
  return credentials_;
}

}  // namespace carddav
