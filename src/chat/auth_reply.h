#pragma once
// The reader of account replies that carry sign-in or session facts
// ("/auth/login", "/auth/me"): a strict JSON walk of the whole text that keeps
// five values by their dotted key paths ("ok", "token", "reason",
// "user.user_id", "session.is_active").
#include <string>

struct AuthReply {
  bool valid = false;  // well-formed, within limits, "ok" present as a boolean
  bool ok = false;
  bool has_ok = false;
  bool has_session_is_active = false;
  bool session_is_active = false;
  std::string user_id;
  std::string token;   // a secret: the caller wipes it with SecureWipeString
  std::string reason;  // at most 128 bytes
};

// Never throws. An unacceptable text gives a record with every flag false and
// every string empty; any token or other value read before the failure, and a
// token replaced by a later one, is wiped.
AuthReply ParseAuthReply(const std::string& text);
