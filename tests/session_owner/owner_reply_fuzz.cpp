// Fuzz entry point of what the session owner reads from the services'
// replies after the auth reader: the sign-in's login and session checks, the
// restore's checks, the friends reply, the phone session, a friend
// operation's answer, the friend requests and the friend list, the sign-out's
// answer; and the media worker's "audio.*.jsonl" records for the media
// status line.
//
// Input: records of a reader byte (index into the readers below), a flags
// byte (bit 0 the exchange failed, bit 1 the restore's token form, bit 2 the
// audio tail starts inside a line), a status byte (index into a small
// table; for the audio records the call's start, x 1000 ms), a two-byte
// length and the text, each text an exact-size heap block. The verdict is
// "accepted" when every record's reader accepted it.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "chat/account_http.h"
#include "chat/auth_reply.h"
#include "chat/secure_wipe.h"
#include "session_owner/account_replies.h"
#include "session_owner/call_audio.h"
#include "support/fuzz/fuzz_input.h"
#include "support/fuzz/fuzz_verdict.h"

namespace {

constexpr char kUser[] = "alice";
constexpr uint32_t kStatuses[] = {200, 401, 403, 500, 404, 0};

enum Reader : uint8_t {
  kLogin,
  kSessionCheck,
  kRestoreCheck,
  kFriends,
  kRestoreFriends,
  kPhoneSession,
  kOperation,
  kRequests,
  kFriendList,
  kAudioLines,
  kReaderCount
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "owner reply fuzz: %s\n", what);
  std::abort();
}

// The rules of the kept friend list: each id once, none empty, over 256
// bytes or the own id, a name only for a listed id.
void CheckFriendList(const two_pc::FriendList& list) {
  std::set<std::string> seen;
  for (const std::string& id : list.ids) {
    if (id.empty() || id.size() > 256 || id == kUser) Fail("a friend id the list may not keep");
    if (!seen.insert(id).second) Fail("a friend listed twice");
  }
  for (const auto& [id, name] : list.names) {
    if (seen.count(id) == 0) Fail("a name for an id not listed");
  }
}

bool MissingOrFinite(double value) { return value == -1 || std::isfinite(value); }

bool ReadAudio(std::string_view tail, bool cut, uint64_t call_start_ms) {
  const two_pc::CallAudioReading reading = two_pc::ReadCallAudioLines(tail, cut, call_start_ms);
  for (const double value : {reading.packets_sent, reading.packets_received, reading.source_level, reading.pcm_rms,
                             reading.pcm_clip_fraction}) {
    if (!MissingOrFinite(value)) Fail("an audio value neither missing nor finite");
    if (!reading.any_complete_line && value != -1) Fail("an audio value without a complete line");
  }
  if (reading.any_complete_line && tail.find('\n') == std::string_view::npos) Fail("a line without its line feed");
  const std::u16string text = two_pc::DescribeCallAudio(reading);
  if (text.empty() || text.size() > 200) Fail("a media status text out of bounds");
  return reading.any_complete_line;
}

bool Read(uint8_t reader, uint8_t flags, uint32_t status, const AccountHttpReply& reply) {
  switch (reader) {
    case kLogin: {
      AuthReply parsed = ParseAuthReply(reply.body);
      const bool accepted = two_pc::LoginAccepted(reply, parsed, kUser);
      if (accepted && (parsed.token.empty() || reply.status != 200)) Fail("a login accepted without a token");
      SecureWipeString(&parsed.token);
      return accepted;
    }
    case kSessionCheck: {
      const bool checked = two_pc::ReadSessionCheck(reply, kUser);
      if (checked && (!reply.ok || reply.status != 200)) Fail("a session check passed without a reply");
      return checked;
    }
    case kRestoreCheck: {
      const uint32_t outcome = two_pc::ReadRestoreCheck(reply, kUser);
      if (outcome != 0 && outcome != 2 && outcome != 3) Fail("restore check outcome outside its table");
      if (outcome == 0 && (!reply.ok || reply.status != 200)) Fail("a restore check passed without a reply");
      if (!reply.ok && outcome != 3) Fail("a failed exchange decided the restore");
      return outcome == 0;
    }
    case kFriends: {
      two_pc::FriendList list;
      const bool read = two_pc::ReadFriendsReply(reply.body, kUser, &list);
      if (!read && !list.ids.empty()) Fail("a refused friends reply left ids");
      CheckFriendList(list);
      return read;
    }
    case kRestoreFriends: {
      two_pc::FriendList list;
      const uint32_t outcome = two_pc::ReadRestoreFriends(reply, kUser, &list);
      if (outcome != 0 && outcome != 2 && outcome != 3) Fail("restore friends outcome outside its table");
      if (outcome == 2 && status != 401 && status != 403) Fail("expired without a refusal");
      CheckFriendList(list);
      return outcome == 0;
    }
    case kPhoneSession: {
      std::string token;
      const bool token_form = (flags & 2) != 0;
      const bool read = two_pc::ReadPhoneSession(reply, kUser, token_form, &token);
      if (read != !token.empty()) Fail("a phone session without its token, or a token without one");
      if (read && token_form && !IsValidSessionToken(token)) Fail("a token not in session-token form");
      SecureWipeString(&token);
      return read;
    }
    case kOperation: return two_pc::IsOkReply(reply);
    case kRequests: {
      std::vector<std::string> incoming;
      std::vector<std::string> outgoing;
      const bool read = two_pc::ReadFriendRequestsReply(reply, kUser, &incoming, &outgoing);
      if (incoming.size() > 10000 || outgoing.size() > 10000) Fail("more than 10000 requests");
      return read;
    }
    case kFriendList: {
      two_pc::FriendList list;
      const bool read = two_pc::ReadFriendListReply(reply, kUser, &list);
      if (!read && !list.ids.empty()) Fail("a refused friend list left ids");
      CheckFriendList(list);
      return read;
    }
    default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzInput input(data, size);
  bool accepted = true;
  while (!input.AtEnd()) {
    const uint8_t reader = input.Byte() % kReaderCount;
    const uint8_t flags = input.Byte();
    const uint8_t status_byte = input.Byte();
    AccountHttpReply reply;
    reply.body = input.Text();
    if (reader == kAudioLines) {
      // The tail in a block of its own size, so a read past its end is caught.
      std::unique_ptr<char[]> tail(new char[reply.body.size()]);
      std::memcpy(tail.get(), reply.body.data(), reply.body.size());
      accepted &= ReadAudio(std::string_view(tail.get(), reply.body.size()), (flags & 4) != 0,
                            static_cast<uint64_t>(status_byte) * 1000);
      continue;
    }
    reply.ok = (flags & 1) == 0;
    reply.status = reply.ok ? kStatuses[status_byte % std::size(kStatuses)] : 0;
    accepted &= Read(reader, flags, reply.status, reply);
    SecureWipeString(&reply.body);
  }
  ReportFuzzVerdict(accepted);
  return 0;
}
