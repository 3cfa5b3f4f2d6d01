// A stand-in for the auth helper program. It writes what it was given to the
// file FAKE_HELPER_RECORD names (argv, open descriptors, whether it leads its
// own session, its folder, FAKE_HELPER_PROBE), then ends as FAKE_HELPER_EXIT
// says: a number is the exit code, "kill" a SIGKILL, "hold" waits for the
// record's ".go" file and exits 0.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string record = std::getenv("FAKE_HELPER_RECORD"), how = std::getenv("FAKE_HELPER_EXIT") ?: "0";
  std::string out;  // gathered before the record file adds a descriptor
  for (int i = 0; i < argc; ++i) out += std::string("arg ") + argv[i] + "\n";
  DIR* fds = ::opendir("/proc/self/fd");
  while (const dirent* e = ::readdir(fds)) {
    if (e->d_name[0] == '.' || std::atoi(e->d_name) == ::dirfd(fds)) continue;
    const std::string name = e->d_name;
    out += "fd " + name + " " + std::filesystem::read_symlink("/proc/self/fd/" + name).string() + "\n";
  }
  ::closedir(fds);
  out += std::string("own_session ") + (::getsid(0) == ::getpid() ? "1" : "0") + "\ncwd " +
         std::filesystem::current_path().string() + "\nprobe " + (std::getenv("FAKE_HELPER_PROBE") ?: "") + "\n";
  std::ofstream(record + ".tmp") << out;
  std::filesystem::rename(record + ".tmp", record);
  if (how == "kill") ::raise(SIGKILL);
  for (int i = 0; how == "hold" && i < 12000 && !std::filesystem::exists(record + ".go"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return how == "hold" ? 0 : std::atoi(how.c_str());
}
