#include "chat/account_http.h"

#include <exception>
#include <string_view>
#include <vector>

#include "chat/secure_wipe.h"
#include "core/environment.h"
#include "core/service_origin.h"
#include "core/text.h"
#include "platform/crypto.h"
#include "platform/https.h"
#include "platform/url.h"

namespace {

constexpr size_t kMaxBody = 0x100000;
constexpr size_t kMaxToken = 2048;
constexpr size_t kMaxOriginUnits = 512;
constexpr char kUserAgent[] = "QuorixPhone/0.1.12";

// Scheme HTTPS, a host, no user information, no extra, path "" or "/".
bool IsPlainHttpsOrigin(const platform::CrackedUrl& url) {
  return url.https && !url.host.empty() && !url.has_user_info && url.user.empty() && url.password.empty() &&
         url.extra.empty() && (url.path.empty() || url.path == u"/");
}

std::u16string LowerAscii(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return text;
}

// The isolated-mode checks on one given origin value.
bool ResolveIsolatedOrigin(const std::u16string& origin, std::u16string* host, uint16_t* port) {
  if (ReadEnvironmentString(u"QUORIX_2PC_NETWORK") != u"AUTHORIZED_ISOLATED_ONLY") return false;
  if (origin.empty() || origin.size() > kMaxOriginUnits) return false;
  const std::u16string allowed = ReadEnvironmentString(u"QUORIX_2PC_ALLOWED_HOST");
  if (allowed.empty()) return false;
  platform::CrackedUrl url;
  if (!platform::CrackUrl(origin, &url) || !IsPlainHttpsOrigin(url)) return false;
  const std::u16string lowered = LowerAscii(url.host);
  if (lowered != LowerAscii(allowed)) return false;
  if (lowered == u"localhost" || lowered == u"127.0.0.1" || lowered == u"::1") return false;
  if (lowered.find(Utf8ToWide(quorix_service::kServiceDomain)) != std::u16string::npos) return false;
  if (lowered.back() == u'.') return false;
  for (const char16_t c : lowered) {
    const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    if (!ok) return false;
  }
  if (url.port == 0) return false;
  *host = lowered;
  *port = url.port;
  return true;
}

AccountHttpReply Failure(const char* code) {
  AccountHttpReply reply;
  reply.error = code;
  return reply;
}

const char* FailureCode(platform::HttpsFailure failure, const std::vector<const char*>& header_codes, size_t header) {
  using platform::HttpsFailure;
  switch (failure) {
    case HttpsFailure::kNone: return "";
    case HttpsFailure::kHandle: return "winhttp_open_failed";
    case HttpsFailure::kHostRefused: return "winhttp_connect_failed";
    case HttpsFailure::kRequest: return "winhttp_request_failed";
    case HttpsFailure::kRedirectPolicy: return "redirect_policy_failed";
    case HttpsFailure::kHeader: return header < header_codes.size() ? header_codes[header] : "winhttp_request_failed";
    case HttpsFailure::kSend: return "send_failed";
    case HttpsFailure::kReceive: return "receive_failed";
    case HttpsFailure::kStatus: return "http_status_unavailable";
    case HttpsFailure::kBodyNetwork: return "body_query_failed";
    case HttpsFailure::kTooLarge: return "response_too_large";
    case HttpsFailure::kBodyLocal: return "body_read_failed";
  }
  return "winhttp_request_failed";
}

}  // namespace

bool IsTokenText(const std::string& token) {
  for (const char c : token) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool ResolveServiceHost(std::u16string* host, uint16_t* port) {
  if (host == nullptr || port == nullptr) return false;
  try {
    if (IsLiveProductionMode()) {
      *host = Utf8ToWide(quorix_service::kServiceHost);
      *port = 443;
      return true;
    }
    return ResolveIsolatedOrigin(ReadEnvironmentString(u"QUORIX_2PC_ORIGIN"), host, port);
  } catch (const std::exception&) {
    return false;
  }
}

std::string ChooseServiceBaseUrl(const std::string& requested) {
  try {
    if (IsLiveProductionMode()) {
      return (requested.empty() || requested == quorix_service::kServiceBaseUrl) ? quorix_service::kServiceBaseUrl
                                                                                  : std::string();
    }
    // The origin is read once: the value checked is the value returned.
    const std::u16string origin = ReadEnvironmentString(u"QUORIX_2PC_ORIGIN");
    std::u16string host;
    uint16_t port = 0;
    if (!ResolveIsolatedOrigin(origin, &host, &port)) return {};
    if (ReadEnvironmentString(u"QUORIX_2PC_REAL_ACCOUNTS") != u"1") return {};
    if (requested == quorix_service::kServiceBaseUrl) return requested;
    if (requested.empty()) return WideToUtf8(origin);
    return {};
  } catch (const std::exception&) {
    return {};
  }
}

bool ParseServiceEndpoint(ServiceEndpoint* endpoint, const std::string& base_url, std::string* error) {
  const char* code = "invalid_url_utf8";
  try {
    if (endpoint == nullptr) return false;
    *endpoint = ServiceEndpoint{};
    const std::u16string wide = Utf8ToWideStrict(ChooseServiceBaseUrl(base_url));
    if (!wide.empty()) {
      code = "base_url_must_be_https_origin_no_path_query_userinfo";
      platform::CrackedUrl url;
      if (platform::CrackUrl(wide, &url) && IsPlainHttpsOrigin(url)) {
        endpoint->host = url.host;
        endpoint->port = url.port;
        if (error != nullptr) error->clear();
        return true;
      }
    }
  } catch (const std::exception&) {
    if (endpoint != nullptr) *endpoint = ServiceEndpoint{};
  }
  if (error != nullptr) *error = code;
  return false;
}

AccountHttpReply SendAccountRequest(const ServiceEndpoint& endpoint, const std::u16string& method,
                                    const std::string& path, const std::string& body, const std::string& token,
                                    const std::atomic<bool>* abort) {
  // Each step's code is the answer to an allocation failure in that step.
  const char* step = "adapter_not_configured";
  try {
    if (endpoint.host.empty() || endpoint.port == 0) return Failure(step);
    step = "invalid_api_path";
    if (path.empty() || path.front() != '/' || path.find_first_of("?#") != std::string::npos ||
        path.find("..") != std::string::npos) {
      return Failure(step);
    }
    step = "invalid_token_header";
    if (token.size() > kMaxToken || !IsTokenText(token)) return Failure(step);
    step = "request_too_large";
    if (body.size() > kMaxBody) return Failure(step);
    step = "invalid_api_path_encoding";
    if (Utf8ToWideStrict(path).empty()) return Failure(step);

    step = "winhttp_request_failed";
    platform::HttpsRequest request;
    request.host = WideToUtf8(endpoint.host);
    request.port = endpoint.port;
    request.method = WideToUtf8(method);
    request.path = path;
    request.body = body;
    request.user_agent = kUserAgent;
    request.body_cap = kMaxBody;
    request.connect_timeout_ms = 4000 + 4000;
    request.send_timeout_ms = 6000;
    request.receive_timeout_ms = 8000;
    request.abort = abort;
    std::vector<const char*> header_codes;
    WipeLinesOnExit wipe(request.headers);
    request.headers.push_back("Accept: application/json");
    header_codes.push_back("accept_header_failed");
    if (method == u"POST") {
      request.headers.push_back("Content-Type: application/json; charset=utf-8");
      header_codes.push_back("content_type_header_failed");
    }
    if (!token.empty()) {
      request.headers.push_back(std::string(quorix_service::kTokenHeaderName) + ": " + token);
      header_codes.push_back("authentication_header_failed");
    }

    thread_local platform::HttpsConnection connection;
    platform::HttpsResponse response = connection.Send(request);
    if (response.failure != platform::HttpsFailure::kNone) {
      return Failure(FailureCode(response.failure, header_codes, response.failed_header));
    }
    step = "body_read_failed";
    AccountHttpReply reply;
    reply.body.assign(response.body.view());
    reply.ok = true;
    reply.status = response.status;
    return reply;
  } catch (...) {
    return Failure(step);
  }
}
