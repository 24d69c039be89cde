// What a CardDAV store's requests share: where the server is, how to log
// in, and the one libcurl handle that keeps the server's connection open
// from request to request. Every request of the store goes through here, so
// that whether it carries the login is decided for each URL requested.
// Where a redirect leads is libcurl's to judge: it sends no credentials to
// another host, port or scheme than the request's own
// (CURLOPT_UNRESTRICTED_AUTH stays off). A store is read from one thread
// (the export's), and so is its connection.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "store/carddav/carddav_http.h"
#include "store/carddav/carddav_store_file.h"
#include "store/carddav/carddav_xml.h"

namespace carddav {

class Connection {
 public:
  explicit Connection(StoreFile file) : file_(std::move(file)) {}

  const std::string& Url() const { return file_.url; }

  // Sends a request whose 207 body is a multistatus; each response goes to
  // `onResponse`. The status (0 when there was no answer) and, for a 207,
  // whether the whole body arrived and was well formed.
  struct Outcome {
    long status = 0;
    bool complete = false;
    std::string effectiveUrl;
  };
  Outcome Multistatus(Method method, const std::string& url, const char* depth, std::string body,
                      const std::function<bool(DavResponse&)>& onResponse);

 private:
  const std::optional<Credentials>& Login();

  StoreFile file_;
  HandlePtr handle_ = NewHandle();
  bool loginRead_ = false;
  std::optional<Credentials> credentials_;
};

// Why a request's answer is not the whole multistatus it should be, with
// the URL it went to (which never holds credentials).
std::string Unanswered(const Connection::Outcome& outcome, const std::string& url);

}  // namespace carddav
