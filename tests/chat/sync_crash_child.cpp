// The child program of the message sync crash test. It reads a plan file
//   port=N  host=NAME  ca=PEM-FILE  localappdata=DIR  keys=DIR  user=ID
//   revision=N  peer=ID  text=T (repeatable)  env=NAME=VALUE (repeatable)
//   kill=POINT (or none)  kill_at=N (the Nth time the point is reached)
// then starts a service connection, opens the history session, sends each
// text, polls the inbox until a poll leaves nothing pending, and reports
// every step on stdout. At the kill point it kills itself with SIGKILL.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chat/history_session.h"
#include "chat/history_store_test_hooks.h"
#include "chat/message_sync.h"
#include "phone_service/windows_wire.h"
#include "platform/env.h"
#include "platform/test_hooks.h"

namespace {

void Report(const std::string& line) {
  std::string out = line + "\n";
  (void)!write(STDOUT_FILENO, out.data(), out.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream plan_file(argv[1]);
  std::string line, host, ca, user, peer, kill = "none";
  uint16_t port = 0;
  uint64_t revision = 0;
  size_t kill_at = 1;
  std::vector<std::string> texts;
  while (std::getline(plan_file, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "port") port = static_cast<uint16_t>(std::stoul(value));
    if (key == "host") host = value;
    if (key == "ca") ca = value;
    if (key == "localappdata") platform::env::Set("LOCALAPPDATA", value);
    if (key == "keys") platform::testing::SetDataProtectionKeyFolder(value);
    if (key == "user") user = value;
    if (key == "revision") revision = std::stoull(value);
    if (key == "peer") peer = value;
    if (key == "text") texts.push_back(value);
    if (key == "kill") kill = value;
    if (key == "kill_at") kill_at = std::stoul(value);
    if (key == "env") {
      const size_t at = value.find('=');
      if (at == std::string::npos || at + 1 == value.size()) {
        platform::env::Unset(value.substr(0, at));
      } else {
        platform::env::Set(value.substr(0, at), value.substr(at + 1));
      }
    }
  }
  std::stringstream pem;
  pem << std::ifstream(ca).rdbuf();
  platform::testing::SetTrustAnchorsPem(pem.str());
  platform::testing::SetConnectOverride(host, port, port);
  size_t reached = 0;
  quorix_history::test_hooks::SetCrashPoint([&](const char* where, size_t) {
    if (kill != where || ++reached != kill_at) return;
    Report(std::string("KILL ") + where);
    raise(SIGKILL);
  });

  quorix_phone::WindowsWire wire;
  if (!wire.Start(user, "tok_phone-123")) return 3;
  for (int i = 0; i < 1000 && !wire.IsConnected(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!wire.IsConnected()) return 4;
  Report("CONNECTED");
  if (!HistorySession::Open(user, revision, &wire, {})) return 5;
  Report("OPEN");
  for (const std::string& text : texts) Report("SEND " + std::to_string(RunSendMessageTask(peer, text).code));
  for (int i = 0; i < 500; ++i) {
    const quorix_notice::Batch batch = RunInboxPollTask(revision);
    Report("POLL " + std::to_string(batch.succeeded) + std::to_string(batch.more_pending) +
           std::to_string(batch.incomplete) + " " + std::to_string(batch.entries.size()));
    if (!batch.more_pending && !batch.incomplete) {
      Report("DONE");
      HistorySession::Reset(revision + 1);
      wire.Stop();
      return 0;
    }
  }
  wire.Stop();
  return 6;
}
