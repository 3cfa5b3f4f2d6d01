// A scripted stand-in for the call-audio worker "peerconnection_client".
//
// QUORIX_TEST_WORKER_SCRIPT names a file of steps, one per line, run in order;
// then the worker serves its "on" rules until "STOP" or the end of its input.
// Without a script it says "READY_IDLE" and serves. QUORIX_TEST_WORKER_RECORD
// names a file it appends to: first what it started with (ARGV, PID, PGID,
// PPID, FDS, FD2, ENV lines), then "IN <line>", "STOP", "EOF",
// "MISMATCH <line>" and "CHILD <pid>".
//
// Steps: say <text> | say-crlf <text> | raw <hex> | big <n> | burst <count>
// <text> | sleep <ms> | expect <text> | wait <prefix> | on <text> => <line>
// [|| <line>...] [after <ms>] [once] | read-slowly <bytes> <ms> |
// stop-reading | ignore-stop | exit <code> | crash | close-stdout | child |
// hang | env <NAME>...
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

int g_record = -1;
std::string g_input;  // bytes read and not yet split
size_t g_chunk = 65536;
int g_chunk_pause_ms = 0;
bool g_ignore_stop = false;

struct Rule {
  std::string text;
  std::vector<std::string> replies;
  int after_ms = 0;
  bool once = false;
};
std::vector<Rule> g_rules;

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t r = write(fd, bytes.data() + done, bytes.size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return;
    done += static_cast<size_t>(r);
  }
}

void Record(const std::string& line) {
  if (g_record >= 0) WriteAll(g_record, line + "\n");
}

void Say(const std::string& bytes) { WriteAll(1, bytes); }

void SleepMs(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

[[noreturn]] void Hang() {
  for (;;) pause();
}

// The next input line; false at the end of input.
bool ReadLine(std::string* line) {
  for (;;) {
    const size_t lf = g_input.find('\n');
    if (lf != std::string::npos) {
      *line = g_input.substr(0, lf);
      g_input.erase(0, lf + 1);
      return true;
    }
    std::string chunk(g_chunk, '\0');
    const ssize_t r = read(0, chunk.data(), chunk.size());
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    g_input.append(chunk.data(), static_cast<size_t>(r));
    if (g_chunk_pause_ms > 0) SleepMs(g_chunk_pause_ms);
  }
}

std::string Rest(const std::string& line, const std::string& word) {
  return line.size() > word.size() + 1 ? line.substr(word.size() + 1) : std::string();
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  const size_t last = text.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, last + 1 - first);
}

// "on <text> => <line> [|| <line>...] [after <ms>] [once]"
Rule ParseRule(const std::string& spec) {
  Rule rule;
  const size_t arrow = spec.find(" => ");
  rule.text = spec.substr(0, arrow);
  std::string replies = arrow == std::string::npos ? std::string() : spec.substr(arrow + 4);
  if (replies.size() >= 5 && replies.compare(replies.size() - 5, 5, " once") == 0) {
    rule.once = true;
    replies.resize(replies.size() - 5);
  }
  const size_t after = replies.rfind(" after ");
  if (after != std::string::npos) {
    rule.after_ms = std::atoi(replies.c_str() + after + 7);
    replies.resize(after);
  }
  size_t begin = 0;
  for (;;) {
    const size_t bar = replies.find(" || ", begin);
    rule.replies.push_back(Trim(replies.substr(begin, bar - begin)));
    if (bar == std::string::npos) break;
    begin = bar + 4;
  }
  return rule;
}

// Handles one input line while serving; exits on "STOP" unless told not to.
void Serve(const std::string& line) {
  if (line == "STOP") {
    Record("STOP");
    if (!g_ignore_stop) {
      Say("STOPPING\n");
      _exit(0);
    }
    return;
  }
  Record("IN " + line);
  for (size_t i = 0; i < g_rules.size(); ++i) {
    if (line.find(g_rules[i].text) == std::string::npos) continue;
    const Rule rule = g_rules[i];
    if (rule.once) g_rules.erase(g_rules.begin() + static_cast<long>(i));
    if (rule.after_ms > 0) SleepMs(rule.after_ms);
    for (const std::string& reply : rule.replies) Say(reply + "\n");
    return;
  }
}

[[noreturn]] void ServeUntilEnd() {
  std::string line;
  while (ReadLine(&line)) Serve(line);
  Record("EOF");
  _exit(0);
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

void RunStep(const std::string& line) {
  std::istringstream words(line);
  std::string op;
  words >> op;
  if (op == "say") {
    Say(Rest(line, op) + "\n");
  } else if (op == "say-crlf") {
    Say(Rest(line, op) + "\r\n");
  } else if (op == "raw") {
    Say(FromHex(Rest(line, op)));
  } else if (op == "big") {
    size_t n = 0;
    words >> n;
    const std::string head = "{\"event\":\"pad\",\"p\":\"";
    Say(head + std::string(n > head.size() + 2 ? n - head.size() - 2 : 0, 'x') + "\"}\n");
  } else if (op == "burst") {
    int count = 0;
    words >> count;
    const std::string text = Trim(Rest(line, op).substr(Rest(line, op).find(' ') + 1));
    std::string all;
    for (int i = 0; i < count; ++i) all += text + "\n";
    Say(all);
  } else if (op == "sleep") {
    int ms = 0;
    words >> ms;
    SleepMs(ms);
  } else if (op == "expect") {
    std::string in;
    const bool got = ReadLine(&in);
    if (!got || in != Rest(line, op)) {
      Record("MISMATCH " + (got ? in : std::string("<eof>")));
      _exit(65);
    }
    Record("IN " + in);
  } else if (op == "wait") {
    const std::string prefix = Rest(line, op);
    std::string in;
    for (;;) {
      if (!ReadLine(&in)) ServeUntilEnd();
      Serve(in);
      if (in.rfind(prefix, 0) == 0) break;
    }
  } else if (op == "on") {
    g_rules.push_back(ParseRule(Rest(line, op)));
  } else if (op == "read-slowly") {
    words >> g_chunk >> g_chunk_pause_ms;
  } else if (op == "stop-reading" || op == "hang") {
    Hang();
  } else if (op == "ignore-stop") {
    g_ignore_stop = true;
  } else if (op == "exit") {
    int code = 0;
    words >> code;
    _exit(code);
  } else if (op == "crash") {
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
  } else if (op == "close-stdout") {
    close(1);
  } else if (op == "child") {
    const pid_t pid = fork();
    if (pid == 0) {
      SleepMs(600000);
      _exit(0);
    }
    Record("CHILD " + std::to_string(pid));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // What we started with, before anything is opened.
  std::string fds;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == dirfd(dir)) continue;
      fds += std::string(" ") + entry->d_name;
    }
    closedir(dir);
  }
  char fd2[512] = {};
  const ssize_t fd2_len = readlink("/proc/self/fd/2", fd2, sizeof fd2 - 1);
  if (fd2_len < 0) fd2[0] = '\0';

  const char* record_path = getenv("QUORIX_TEST_WORKER_RECORD");
  if (record_path != nullptr) g_record = open(record_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  std::vector<std::string> script;
  if (const char* script_path = getenv("QUORIX_TEST_WORKER_SCRIPT")) {
    std::ifstream in(script_path);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) script.push_back(line);
    }
  }

  std::string args = "ARGV";
  for (int i = 0; i < argc; ++i) args += std::string(" ") + argv[i];
  Record(args);
  Record("PID " + std::to_string(getpid()));
  Record("PGID " + std::to_string(getpgrp()));
  Record("PPID " + std::to_string(getppid()));
  Record("FDS" + fds);
  Record(std::string("FD2 ") + fd2);
  for (const std::string& line : script) {
    if (line.rfind("env ", 0) != 0) continue;
    std::istringstream names(line.substr(4));
    for (std::string name; names >> name;) {
      const char* value = getenv(name.c_str());
      Record("ENV " + name + (value != nullptr ? "=" + std::string(value) : std::string(" unset")));
    }
  }

  if (script.empty()) Say("READY_IDLE\n");
  for (const std::string& line : script) {
    if (line.rfind("env ", 0) != 0) RunStep(line);
  }
  ServeUntilEnd();
}
