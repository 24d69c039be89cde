// The libcurl of the Windows build: TLS by Schannel (the Windows certificate
// store, which wine does not provide here, so no https server is reached in
// these tests), HTTP and HTTPS only, and every https request verified.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "store/carddav/carddav_http.h"

namespace {

TEST(CarddavTlsWin32Test, SchannelHttpOnlyAndVerified) {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  ASSERT_NE(info->ssl_version, nullptr);
  EXPECT_TRUE(std::string_view(info->ssl_version).starts_with("Schannel")) << info->ssl_version;
  EXPECT_TRUE(info->features & CURL_VERSION_SSL);
  std::set<std::string> protocols;
  for (const char* const* p = info->protocols; *p != nullptr; ++p) protocols.insert(*p);
  EXPECT_EQ(protocols, (std::set<std::string>{"http", "https"}));

  const carddav::TlsTrust trust = carddav::HttpsTrust();
  EXPECT_EQ(trust.verifyPeer, 1L);
  EXPECT_EQ(trust.verifyHost, 2L);
  EXPECT_TRUE(trust.sslOptions & CURLSSLOPT_NATIVE_CA);
  EXPECT_FALSE(trust.sslOptions & CURLSSLOPT_NO_REVOKE);
}

}  // namespace
