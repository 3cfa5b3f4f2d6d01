#pragma once
// The account side's transport to the service: which origin may be used
// (the service base URL, or an admitted isolated origin), the endpoint made
// from it, and one synchronous JSON request over HTTPS with its result codes.
#include <atomic>
#include <cstdint>
#include <string>

// Where account requests go; empty host or port 0 means not configured.
struct ServiceEndpoint {
  std::u16string host;
  uint16_t port = 0;
};

// The result of one account request. On failure: ok false, status 0, body
// empty and `error` one snake_case code. The body may hold a token: release
// it with SecureWipeString once read.
struct AccountHttpReply {
  bool ok = false;
  uint32_t status = 0;
  std::string body;
  std::string error;
};

// True when every byte of `token` is one of A-Z a-z 0-9 "_" "-" (the form a
// session token must have; the empty text passes).
bool IsTokenText(const std::string& token);

// The base URL that may be used for `requested`; empty means refused.
std::string ChooseServiceBaseUrl(const std::string& requested);

// The host and port the program may connect to in the current runtime mode.
// False when no service may be used or an output is missing.
bool ResolveServiceHost(std::u16string* host, uint16_t* port);

// Chooses the base URL for `base_url` and splits it into host and port. On
// failure the endpoint stays cleared and `error` (when given) gets
// "invalid_url_utf8" or "base_url_must_be_https_origin_no_path_query_userinfo".
bool ParseServiceEndpoint(ServiceEndpoint* endpoint, const std::string& base_url, std::string* error = nullptr);

// One request ("GET" or "POST") on the calling thread's own connection;
// blocks until it ends. Never throws. Setting `*abort` ends the exchange early.
AccountHttpReply SendAccountRequest(const ServiceEndpoint& endpoint, const std::u16string& method,
                                    const std::string& path, const std::string& body, const std::string& token,
                                    const std::atomic<bool>* abort = nullptr);
