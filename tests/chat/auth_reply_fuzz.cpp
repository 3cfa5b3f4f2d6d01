// Fuzz entry point of the auth reply reader. An accepted text must carry "ok";
// a refused one must come back with nothing in it; the reader must be a pure
// function of its text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chat/auth_reply.h"
#include "support/fuzz/fuzz_verdict.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "auth reply fuzz: %s\n", what);
  std::abort();
}

bool Same(const AuthReply& a, const AuthReply& b) {
  return a.valid == b.valid && a.ok == b.ok && a.has_ok == b.has_ok &&
         a.has_session_is_active == b.has_session_is_active && a.session_is_active == b.session_is_active &&
         a.user_id == b.user_id && a.token == b.token && a.reason == b.reason;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const AuthReply reply = ParseAuthReply(text);
  ReportFuzzVerdict(reply.valid);
  if (!Same(reply, ParseAuthReply(text))) Fail("two reads differ");
  if (reply.valid) {
    if (!reply.has_ok) Fail("accepted without ok");
    if (reply.reason.size() > 128) Fail("reason over 128 bytes");
  } else if (!Same(reply, AuthReply{})) {
    Fail("refused text left values");
  }
  return 0;
}
