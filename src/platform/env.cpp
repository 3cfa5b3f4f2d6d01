#include "platform/env.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/thread_annotations.h"

extern char** environ;

namespace platform::env {
namespace {

bool ValidName(std::string_view name) {
  return !name.empty() && name.find('=') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

// Every read and write of the values and of the fault hook holds `mutex`.
struct Table {
  Mutex mutex;
  std::map<std::string, std::string, std::less<>> values GUARDED_BY(mutex);
  std::function<bool(Layer, std::string_view)> fault GUARDED_BY(mutex);

  Table() {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      std::string_view text(*entry);
      const auto eq = text.find('=');
      if (eq == std::string_view::npos || eq == 0) continue;
      values.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
    }
    // Windows always provides these two; derive them from the XDG layout.
    const auto home = values.find("HOME");
    if (home != values.end() && !home->second.empty()) {
      values.try_emplace("USERPROFILE", home->second);
      const auto xdg = values.find("XDG_DATA_HOME");
      if (xdg != values.end() && !xdg->second.empty() && xdg->second.front() == '/') {
        values.try_emplace("LOCALAPPDATA", xdg->second);
      } else {
        values.try_emplace("LOCALAPPDATA", home->second + "/.local/share");
      }
    }
  }
};

Table& TheTable() {
  // Never destroyed: threads may still log while static objects are torn down.
  static Table* const table = new Table;
  return *table;
}

}  // namespace

std::optional<std::string> Get(std::string_view name) {
  Table& table = TheTable();
  MutexLock lock(table.mutex);
  const auto it = table.values.find(name);
  if (it == table.values.end()) return std::nullopt;
  return it->second;
}

bool Set(std::string_view name, std::string_view value, Layer layer) {
  if (!ValidName(name) || value.find('\0') != std::string_view::npos) return false;
  Table& table = TheTable();
  MutexLock lock(table.mutex);
  if (table.fault && !table.fault(layer, name)) return false;
  table.values.insert_or_assign(std::string(name), std::string(value));
  return true;
}

bool Unset(std::string_view name, Layer layer) {
  if (!ValidName(name)) return false;
  Table& table = TheTable();
  MutexLock lock(table.mutex);
  if (table.fault && !table.fault(layer, name)) return false;
  const auto it = table.values.find(name);
  if (it != table.values.end()) table.values.erase(it);
  return true;
}

std::vector<std::string> Snapshot() {
  Table& table = TheTable();
  MutexLock lock(table.mutex);
  std::vector<std::string> out;
  out.reserve(table.values.size());
  for (const auto& [name, value] : table.values) out.push_back(name + "=" + value);
  return out;
}

void SetWriteFaultForTesting(std::function<bool(Layer, std::string_view)> allow) {
  Table& table = TheTable();
  MutexLock lock(table.mutex);
  table.fault = std::move(allow);
}

}  // namespace platform::env
