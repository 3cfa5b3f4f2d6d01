// A stand-in for the auth helper program. It writes what it was given to the
// file named by FAKE_HELPER_RECORD (argv, open descriptors with their
// targets, whether it leads its own session, its folder, FAKE_HELPER_PROBE),
// then ends as FAKE_HELPER_EXIT says: a number is the exit code, "kill" a
// SIGKILL, "hold" waits for the record's ".go" file, then exits 0.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const char* record = std::getenv("FAKE_HELPER_RECORD");
  if (record == nullptr) return 99;
  {
    std::string out;  // gathered before the record file adds a descriptor
    for (int i = 0; i < argc; ++i) out += std::string("arg ") + argv[i] + "\n";
    DIR* fds = ::opendir("/proc/self/fd");
    for (dirent* e = fds ? ::readdir(fds) : nullptr; e != nullptr; e = ::readdir(fds)) {
      if (e->d_name[0] == '.' || std::atoi(e->d_name) == ::dirfd(fds)) continue;
      out += std::string("fd ") + e->d_name + " " +
             std::filesystem::read_symlink(std::string("/proc/self/fd/") + e->d_name).string() + "\n";
    }
    if (fds != nullptr) ::closedir(fds);
    out += std::string("own_session ") + (::getsid(0) == ::getpid() ? "1" : "0") + "\n";
    out += "cwd " + std::filesystem::current_path().string() + "\n";
    const char* probe = std::getenv("FAKE_HELPER_PROBE");
    out += std::string("probe ") + (probe ? probe : "") + "\n";
    std::ofstream(std::string(record) + ".tmp") << out;
  }
  std::filesystem::rename(std::string(record) + ".tmp", record);
  const std::string how = std::getenv("FAKE_HELPER_EXIT") ? std::getenv("FAKE_HELPER_EXIT") : "0";
  if (how == "kill") ::raise(SIGKILL);
  if (how == "hold") {
    for (int i = 0; i < 12000 && !std::filesystem::exists(std::string(record) + ".go"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }
  return std::atoi(how.c_str());
}
