#include "support/pulse_server.h"

#include <fcntl.h>
#include <pulse/pulseaudio.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/env.h"

namespace quorix_test {
namespace {

using Clock = std::chrono::steady_clock;

bool SocketAccepts(const std::filesystem::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  close(fd);
  return ok;
}

std::string ReadLog(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

PulseTestServer::PulseTestServer(std::filesystem::path dir) : dir_(std::move(dir)) {}

PulseTestServer::~PulseTestServer() { Stop(); }

std::optional<std::filesystem::path> PulseTestServer::FindBinary() {
  std::stringstream path(platform::env::Get("PATH").value_or("/usr/bin:/bin"));
  std::string folder;
  while (std::getline(path, folder, ':')) {
    if (folder.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(folder) / "pulseaudio";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

bool PulseTestServer::Start(std::string* why) {
  Stop();
  const std::optional<std::filesystem::path> binary = FindBinary();
  if (!binary) {
    *why = "no pulseaudio binary on PATH";
    return false;
  }
  const std::filesystem::path home = dir_ / "home", runtime = dir_ / "runtime", state = dir_ / "state";
  for (const auto& folder : {home, runtime, state}) {
    std::filesystem::create_directories(folder);
    chmod(folder.c_str(), 0700);
  }
  const std::filesystem::path log = dir_ / "pulseaudio.log";
  const std::string socket_path = (dir_ / "native").string();

  std::vector<std::string> args = {
      binary->string(), "-n", "--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1",
      "--disallow-exit=yes", "--realtime=no", "--high-priority=no", "--no-cpu-limit=yes", "--fail=yes",
      "--log-target=stderr",
      "-L", "module-native-protocol-unix socket=" + socket_path + " auth-anonymous=1",
      "-L", "module-null-sink sink_name=quorix_test_a sink_properties=device.description=QuorixTestA",
      "-L", "module-null-sink sink_name=quorix_test_b sink_properties=device.description=QuorixTestB",
      "-L", "module-null-source source_name=quorix_mic_a description=QuorixMicA",
      "-L", "module-null-source source_name=quorix_mic_b description=QuorixMicB"};
  std::vector<std::string> env = {
      "HOME=" + home.string(),
      "XDG_RUNTIME_DIR=" + runtime.string(),
      "PULSE_RUNTIME_PATH=" + runtime.string(),
      "PULSE_STATE_PATH=" + state.string(),
      "XDG_CONFIG_HOME=" + (home / ".config").string(),
      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (dir_ / "no-session-bus").string(),
      "PATH=" + platform::env::Get("PATH").value_or("/usr/bin:/bin"),
      "LANG=C"};
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (log_fd < 0) {
    *why = "cannot open " + log.string();
    return false;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(log_fd, STDOUT_FILENO);
    dup2(log_fd, STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(log_fd);
  if (pid < 0) {
    *why = "fork failed";
    return false;
  }
  pid_ = pid;

  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < deadline) {
    if (SocketAccepts(socket_path)) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *why = "pulseaudio exited early; its log:\n" + ReadLog(log);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  *why = "pulseaudio did not open its socket within 30 s; its log:\n" + ReadLog(log);
  return false;
}

void PulseTestServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

namespace {

struct Introspection {
  std::map<uint32_t, std::string> sinks;
  std::vector<uint32_t> input_sinks;
};

}  // namespace

namespace {

// A blocking client of the test server on its own main loop; every wait is
// bounded by 15 s from the start.
class TestClient {
 public:
  explicit TestClient(const PulseTestServer& server)
      : loop_(pa_mainloop_new()),
        context_(pa_context_new(pa_mainloop_get_api(loop_), "quorix-test-introspection")),
        deadline_(Clock::now() + std::chrono::seconds(15)) {
    pa_context_load_cookie_from_file(context_, server.cookie_file().c_str());
    ready_ = pa_context_connect(context_, server.address().c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
             RunUntil([this] {
               const pa_context_state_t s = pa_context_get_state(context_);
               return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
             }) &&
             pa_context_get_state(context_) == PA_CONTEXT_READY;
  }
  ~TestClient() {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_mainloop_free(loop_);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool ready() const { return ready_; }
  pa_context* context() const { return context_; }

  template <typename Done>
  bool RunUntil(Done done) {
    while (!done() && Clock::now() < deadline_) {
      if (pa_mainloop_iterate(loop_, 0, nullptr) < 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
  }
  // Waits for `operation` (null: failed to start) and releases it.
  bool Finish(pa_operation* operation) {
    if (operation == nullptr) return false;
    const bool done = RunUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return done;
  }

 private:
  pa_mainloop* loop_;
  pa_context* context_;
  Clock::time_point deadline_;
  bool ready_ = false;
};

}  // namespace

std::optional<std::vector<std::string>> SinkInputSinkNames(const PulseTestServer& server) {
  TestClient client(server);
  if (!client.ready()) return std::nullopt;
  Introspection data;
  const bool sinks = client.Finish(pa_context_get_sink_info_list(
      client.context(),
      [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
        if (eol == 0) static_cast<Introspection*>(userdata)->sinks[info->index] = info->name;
      },
      &data));
  const bool inputs = sinks && client.Finish(pa_context_get_sink_input_info_list(
                                   client.context(),
                                   [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
                                     if (eol == 0) static_cast<Introspection*>(userdata)->input_sinks.push_back(info->sink);
                                   },
                                   &data));
  if (!inputs) return std::nullopt;
  std::vector<std::string> result;
  for (uint32_t index : data.input_sinks) result.push_back(data.sinks[index]);
  return result;
}

bool PulseTestServer::UnloadModuleWith(const std::string& argument) const {
  TestClient client(*this);
  if (!client.ready()) return false;
  std::vector<std::pair<uint32_t, std::string>> modules;
  if (!client.Finish(pa_context_get_module_info_list(
          client.context(),
          [](pa_context*, const pa_module_info* info, int eol, void* userdata) {
            if (eol != 0) return;
            static_cast<std::vector<std::pair<uint32_t, std::string>>*>(userdata)->emplace_back(
                info->index, info->argument != nullptr ? info->argument : "");
          },
          &modules))) {
    return false;
  }
  for (const auto& [index, args] : modules) {
    if (args.find(argument) == std::string::npos) continue;
    int success = 0;
    return client.Finish(pa_context_unload_module(
               client.context(), index,
               [](pa_context*, int ok, void* userdata) { *static_cast<int*>(userdata) = ok; }, &success)) &&
           success != 0;
  }
  return false;
}

bool PulseTestServer::LoadModule(const std::string& name, const std::string& arguments) const {
  TestClient client(*this);
  if (!client.ready()) return false;
  uint32_t index = PA_INVALID_INDEX;
  return client.Finish(pa_context_load_module(
             client.context(), name.c_str(), arguments.c_str(),
             [](pa_context*, uint32_t loaded, void* userdata) { *static_cast<uint32_t*>(userdata) = loaded; },
             &index)) &&
         index != PA_INVALID_INDEX;
}

}  // namespace quorix_test
