// The simulated runtime's application registry: the calls' effects and,
// with a folder, the file every process of a test shares.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/json.h"
#include "platform/files.h"
#include "platform/unique_fd.h"
#include "vr/sim/sim_runtime.h"

namespace vr_sim {

namespace {

constexpr size_t kRegistryLimit = 1 << 20;

std::filesystem::path RegistryFile(const std::filesystem::path& folder) { return folder / "applications.json"; }

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Serialize(const std::map<std::string, SimApplication>& apps, const std::map<std::string, bool>& flags) {
  std::string text = "{\"apps\":[";
  for (const auto& [key, app] : apps) {
    if (text.back() != '[') text += ',';
    text += "{\"key\":" + Quote(key) + ",\"manifest\":" + Quote(app.manifest_path) +
            ",\"binary\":" + Quote(app.binary_path) + ",\"arguments\":" + Quote(app.arguments) +
            ",\"image\":" + Quote(app.image_path) + ",\"actions\":" + Quote(app.action_manifest_path) +
            ",\"temporary\":" + (app.temporary ? "true" : "false") +
            ",\"server_pid\":" + std::to_string(app.server_pid) + "}";
  }
  text += "],\"auto_launch\":{";
  for (const auto& [key, on] : flags) {
    if (text.back() != '{') text += ',';
    text += Quote(key) + ":" + (on ? "true" : "false");
  }
  return text + "}}\n";
}

bool Text(const JsonValue& object, const char* key, std::string* out) {
  const JsonValue* value = object.Find(key);
  if (!value || value->type != JsonType::String) return false;
  *out = value->text;
  return true;
}

bool Parse(const std::string& text, std::map<std::string, SimApplication>* apps, std::map<std::string, bool>* flags) {
  JsonValue root;
  if (!ParseJson(text, root) || root.type != JsonType::Object) return false;
  const JsonValue* list = root.Find("apps");
  const JsonValue* launch = root.Find("auto_launch");
  if (!list || list->type != JsonType::Array || !launch || launch->type != JsonType::Object) return false;
  for (const JsonValue& entry : list->items) {
    std::string key;
    SimApplication app;
    const JsonValue* temporary = entry.Find("temporary");
    const JsonValue* pid = entry.Find("server_pid");
    if (!Text(entry, "key", &key) || !Text(entry, "manifest", &app.manifest_path) ||
        !Text(entry, "binary", &app.binary_path) || !Text(entry, "arguments", &app.arguments) ||
        !Text(entry, "image", &app.image_path) || !Text(entry, "actions", &app.action_manifest_path) ||
        !temporary || temporary->type != JsonType::Bool || !pid || pid->type != JsonType::Number ||
        pid->number < 0 || pid->number > 4294967295.0) {
      return false;
    }
    app.temporary = temporary->bool_value;
    app.server_pid = static_cast<uint32_t>(pid->number);
    (*apps)[key] = std::move(app);
  }
  for (const auto& [key, value] : launch->members) {
    if (value.type != JsonType::Bool) return false;
    (*flags)[key] = value.bool_value;
  }
  return true;
}

// An exclusive flock held for one change.
class RegistryLock {
 public:
  explicit RegistryLock(const std::filesystem::path& folder)
      : fd_(::open((folder / "applications.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_.valid() && platform::RetryOnEintr([&] { return ::flock(fd_.get(), LOCK_EX); }) != 0) fd_.reset();
  }
  bool held() const { return fd_.valid(); }

 private:
  platform::UniqueFd fd_;
};

}  // namespace

int32_t SimRuntime::LoadRegistry() {
  if (!folder_) return 0;
  const std::filesystem::path file = RegistryFile(*folder_);
  std::map<std::string, SimApplication> apps;
  std::map<std::string, bool> flags;
  std::string text;
  const platform::FileReadResult read = platform::ReadRegularFile(file, kRegistryLimit, &text);
  if (read == platform::FileReadResult::kOk) {
    if (!Parse(text, &apps, &flags)) return pvr::kErrorFile;
  } else if (platform::PathExists(file)) {
    return pvr::kErrorFile;
  }
  // Temporary entries last as long as the server they were added under.
  for (auto it = apps.begin(); it != apps.end();) {
    it = it->second.temporary && it->second.server_pid != server_pid_ ? apps.erase(it) : std::next(it);
  }
  apps_ = std::move(apps);
  auto_launch_ = std::move(flags);
  return 0;
}

int32_t SimRuntime::ChangeRegistry(const std::function<int32_t()>& change) {
  if (!folder_) return change();
  RegistryLock lock(*folder_);
  if (!lock.held()) return pvr::kErrorFile;
  if (const int32_t error = LoadRegistry()) return error;
  const int32_t result = change();
  if (result == 0 && !platform::ReplaceFileDurably(RegistryFile(*folder_), Serialize(apps_, auto_launch_))) {
    LoadRegistry();
    return pvr::kErrorFile;
  }
  return result;
}

int32_t SimRuntime::RemoveManifestImpl(const std::string& path) {
  bool removed = false;
  for (auto it = apps_.begin(); it != apps_.end();) {
    if (it->second.manifest_path == path) {
      it = reinstate_on_remove_ ? std::next(it) : apps_.erase(it);
      removed = true;
    } else {
      ++it;
    }
  }
  return removed ? 0 : pvr::kErrorUnknownApplication;
}

uint32_t SimRuntime::PropertyImpl(const std::string& key, uint32_t property, char* buffer, uint32_t size,
                                  int32_t* error) {
  int32_t status = 0;
  uint32_t length = 0;
  const auto answer = property_answers_.find({key, property});
  const auto found = apps_.find(key);
  if (answer != property_answers_.end()) {
    const std::string& bytes = answer->second.first;
    if (buffer) std::memcpy(buffer, bytes.data(), std::min<size_t>(bytes.size(), size));
    length = answer->second.second;
  } else if (found == apps_.end()) {
    status = pvr::kErrorUnknownApplication;
  } else {
    const SimApplication& app = found->second;
    const std::string* value = property == pvr::kAppPropertyBinaryPath  ? &app.binary_path
                               : property == pvr::kAppPropertyArguments ? &app.arguments
                               : property == pvr::kAppPropertyImagePath ? &app.image_path
                                                                        : nullptr;
    if (!value) {
      status = pvr::kErrorInvalidArgument;
    } else {
      length = static_cast<uint32_t>(value->size() + 1);
      if (!buffer || size < length) {
        status = pvr::kErrorBufferTooSmall;
      } else {
        std::memcpy(buffer, value->c_str(), length);
      }
    }
  }
  if (error) *error = status;
  return length;
}

int32_t SimRuntime::SetAutoLaunchImpl(const std::string& key, bool enabled) {
  if (apps_.count(key) == 0) return pvr::kErrorUnknownApplication;
  auto_launch_[key] = enabled;
  return 0;
}

const std::map<std::string, SimApplication>& SimRuntime::applications() {
  LoadRegistry();
  return apps_;
}

const std::map<std::string, bool>& SimRuntime::auto_launch() {
  LoadRegistry();
  return auto_launch_;
}

void SimRuntime::SetPropertyAnswer(const std::string& key, uint32_t property, const std::string& bytes,
                                   uint32_t length) {
  property_answers_[{key, property}] = {bytes, length};
}

void SimRuntime::InstallRaw(const std::string& key, const SimApplication& app, bool auto_launch) {
  ChangeRegistry([&] {
    apps_[key] = app;
    auto_launch_[key] = auto_launch;
    return 0;
  });
}

}  // namespace vr_sim
