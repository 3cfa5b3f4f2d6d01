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
      "-L", "module-null-sink sink_name=quorix_test_b sink_properties=device.description=QuorixTestB"};
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
  int pending = 0;
};

}  // namespace

std::optional<std::vector<std::string>> SinkInputSinkNames(const PulseTestServer& server) {
  pa_mainloop* loop = pa_mainloop_new();
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "quorix-test-introspection");
  Introspection data;
  std::optional<std::vector<std::string>> result;
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  auto run_until = [&](auto done) {
    while (!done() && Clock::now() < deadline) {
      if (pa_mainloop_iterate(loop, 0, nullptr) < 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
  };
  pa_context_load_cookie_from_file(context, server.cookie_file().c_str());
  if (pa_context_connect(context, server.address().c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
      run_until([&] {
        const pa_context_state_t s = pa_context_get_state(context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
      }) &&
      pa_context_get_state(context) == PA_CONTEXT_READY) {
    data.pending = 2;
    pa_operation* sinks = pa_context_get_sink_info_list(
        context,
        [](pa_context*, const pa_sink_info* info, int eol, void* userdata) {
          auto* d = static_cast<Introspection*>(userdata);
          if (eol != 0) {
            --d->pending;
          } else {
            d->sinks[info->index] = info->name;
          }
        },
        &data);
    pa_operation* inputs = pa_context_get_sink_input_info_list(
        context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
          auto* d = static_cast<Introspection*>(userdata);
          if (eol != 0) {
            --d->pending;
          } else {
            d->input_sinks.push_back(info->sink);
          }
        },
        &data);
    if (sinks != nullptr && inputs != nullptr && run_until([&] { return data.pending == 0; })) {
      result.emplace();
      for (uint32_t index : data.input_sinks) result->push_back(data.sinks[index]);
    }
    if (sinks != nullptr) {
      if (pa_operation_get_state(sinks) == PA_OPERATION_RUNNING) pa_operation_cancel(sinks);
      pa_operation_unref(sinks);
    }
    if (inputs != nullptr) {
      if (pa_operation_get_state(inputs) == PA_OPERATION_RUNNING) pa_operation_cancel(inputs);
      pa_operation_unref(inputs);
    }
  }
  pa_context_disconnect(context);
  pa_context_unref(context);
  pa_mainloop_free(loop);
  return result;
}

}  // namespace quorix_test
