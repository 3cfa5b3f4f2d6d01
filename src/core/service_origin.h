#pragma once
// The one production service: accounts, friends, messages, presence and calls.
// A reserved domain, so that no build reaches a third party by accident.
namespace quorix_service {

inline constexpr char kServiceDomain[] = "quorix.example";
inline constexpr char kServiceHost[] = "api.quorix.example";
inline constexpr char kServiceBaseUrl[] = "https://api.quorix.example";
inline constexpr char16_t kServiceBaseUrlWide[] = u"https://api.quorix.example";

// The request header that carries the session token, on HTTPS requests and on
// the WebSocket upgrade alike (a line is the name, ": ", then the token).
inline constexpr char kTokenHeaderName[] = "X-NiloPhone-Token";

}  // namespace quorix_service
