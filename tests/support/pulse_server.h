#pragma once
// A private PulseAudio server for tests: a child process with two null sinks
// ("quorix_test_a", "quorix_test_b", described "QuorixTestA", "QuorixTestB")
// and two null sources ("quorix_mic_a", "quorix_mic_b", described
// "QuorixMicA", "QuorixMicB") listening only on <dir>/native, with its
// home, runtime and state folders inside <dir> and no session bus or display.
// It dies with the test process.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorix_test {

class PulseTestServer {
 public:
  explicit PulseTestServer(std::filesystem::path dir);
  ~PulseTestServer();
  PulseTestServer(const PulseTestServer&) = delete;
  PulseTestServer& operator=(const PulseTestServer&) = delete;

  // The pulseaudio binary on PATH, if any.
  static std::optional<std::filesystem::path> FindBinary();

  // Starts the server and waits (at most 10 s) until its socket accepts a
  // connection. On failure `why` gets the reason and the server's log.
  bool Start(std::string* why);
  // SIGTERM, then SIGKILL after 5 s.
  void Stop();
  std::string address() const { return "unix:" + (dir_ / "native").string(); }
  // A cookie file for clients of this server, so that they leave the user's
  // own alone (the server takes anonymous clients anyway).
  std::string cookie_file() const { return (dir_ / "client-cookie").string(); }

  // Run-time changes through the test's own connection, as a device that is
  // unplugged or plugged in: unloads the first module whose argument holds
  // `argument` (such as "sink_name=quorix_test_b"), or loads one. False when
  // the server refused or could not be asked.
  bool UnloadModuleWith(const std::string& argument) const;
  bool LoadModule(const std::string& name, const std::string& arguments) const;

 private:
  std::filesystem::path dir_;
  pid_t pid_ = -1;
};

// The sink names of the server's current sink inputs (playing streams), by
// the test's own connection; nothing when the server cannot be asked.
std::optional<std::vector<std::string>> SinkInputSinkNames(const PulseTestServer& server);

}  // namespace quorix_test
