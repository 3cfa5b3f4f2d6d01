#include "chat/auth_helper_process.h"

#include <cstdio>
#include <string>
#include <utility>

#include "core/text.h"
#include "platform/process.h"

namespace {

// Our own path as Windows would hand it over: at most 32,767 UTF-16 units.
constexpr size_t kMaxPathUnits = 32768;

// One line, one write, then a flush: the lines interleave with nothing.
void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

bool AuthHelperProcess::Start(uint32_t new_action) {
  if (action != kActionNone || (new_action != kActionStatus && new_action != kActionLogout)) return false;
  const std::string own_path = platform::ExecutablePath().string();
  const std::u16string own_units = Utf8ToWideStrict(own_path);
  if (own_units.empty() || own_units.size() >= kMaxPathUnits) {
    status = kCheckFailed;
    return false;
  }
  // Only "/" separates: a backslash is an ordinary byte of a Linux file name.
  const size_t slash = own_path.rfind('/');
  if (slash == std::string::npos) {
    status = kCheckFailed;
    return false;
  }
  const std::string helper = own_path.substr(0, slash + 1) + kHelperName;
  platform::ProcessHandle child;
  if (!child.Start(helper, {new_action == kActionStatus ? "status" : "logout"})) {
    status = kCheckFailed;
    PrintLine("[MVP02B] START=FAIL stage=PROCESS_START\n");
    return false;
  }
  process.emplace(std::move(child));
  action = new_action;
  status = kWaitForPc;
  PrintLine(std::string("[MVP02B] START=PASS action=") + (new_action == kActionStatus ? "STATUS" : "LOGOUT") + "\n");
  return true;
}

bool AuthHelperProcess::Poll() {
  if (action == kActionNone || !process) return false;
  int code = 0;
  if (!process->ExitCode(&code)) {
    process.reset();
    action = kActionNone;
    status = kCheckFailed;
    return true;
  }
  if (code == platform::ProcessHandle::kStillActive) return false;
  process.reset();
  const uint32_t ended = action;
  action = kActionNone;
  if (code == 0) {
    status = ended == kActionStatus ? kSignedIn : kSignedOut;
  } else if (code == 2 && ended == kActionStatus) {
    status = kLoginNeeded;
  } else {
    status = kCheckFailed;
  }
  PrintLine(std::string("[MVP02B] RESULT=") + StatusName(status) + "\n");
  return true;
}

const char* AuthHelperProcess::StatusName(uint32_t value) {
  switch (value) {
    case kNotChecked: return "NOT CHECKED";
    case kWaitForPc: return "WAIT FOR PC";
    case kSignedIn: return "SIGNED IN";
    case kSignedOut: return "SIGNED OUT";
    case kLoginNeeded: return "LOGIN NEEDED";
    case kCheckFailed: return "CHECK FAILED";
    default: return "UNKNOWN";
  }
}
