#pragma once

#include <string>
#include <vector>

#include "http/HttpExchange.h"

// Which web pages may call the agent. Any page can reach 127.0.0.1, so a
// user may name the origins of the pages they use (the "AllowedOrigins"
// setting). Without such a list every request is served, as always.
//
// With a list, a request is served when its Origin header is one of the
// listed origins, or when it has no Origin header (a native client: browsers
// send one on every cross-origin call); and in both cases its Host header
// names the local host (127.0.0.1, localhost or ::1, with or without a
// port), which a page reaching the agent through a rebound DNS name does not.
class COriginPolicy {
 public:
  COriginPolicy() = default;
  // strAllowed: origins separated by blanks, e.g. "https://bank.example
  // http://127.0.0.1:8080"; a trailing "/" is ignored. Empty: no list.
  explicit COriginPolicy(const std::string& strAllowed);

  bool HasList() const { return !m_vecOrigins.empty(); }

  // True when the request may be served; otherwise strWhy says why, in a
  // form fit for the log.
  bool Allows(const CHttpExchange& request, std::string& strWhy) const;

 private:
  std::vector<std::string> m_vecOrigins;
};

// True when a Host header value names the local host: 127.0.0.1, localhost
// (any case) or [::1], each with or without ":port".
bool IsLocalHostHeader(const std::string& strHost);
