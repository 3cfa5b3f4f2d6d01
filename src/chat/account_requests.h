#pragma once
// The account service's requests: sign-in, sign-out, profile, friend list
// and the opening of a phone session, with the two encoders their bodies and
// paths use. Replies come back unchanged; none of these throws.
#include <string>

#include "chat/account_http.h"

// A JSON string literal: quote, backslash, 0x08, 0x0C, 0x0A, 0x0D and 0x09
// escaped by letter, other bytes below 0x20 as \u00XX (upper-case hex), every
// byte from 0x20 up (0x7F and UTF-8 sequences too) copied; "/" is not escaped.
std::string QuoteJsonString(const std::string& text);

// One path segment: 1 to 256 bytes; A-Z a-z 0-9 "-" "." "_" "~" copied, every
// other byte as "%XX" (upper-case hex). Throws std::invalid_argument
// ("invalid_path_segment") for a bad length or a result of "." or "..".
std::string PercentEncodePathSegment(const std::string& segment);

AccountHttpReply AccountLogin(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& password);
AccountHttpReply AccountLogout(const ServiceEndpoint& endpoint, const std::string& token);
AccountHttpReply AccountGetMe(const ServiceEndpoint& endpoint, const std::string& token);
AccountHttpReply AccountGetFriends(const ServiceEndpoint& endpoint, const std::string& user_id, const std::string& token);
AccountHttpReply AccountOpenPhoneSession(const ServiceEndpoint& endpoint, const std::string& user_id,
                                         const std::string& token);
