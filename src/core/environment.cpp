#include "core/environment.h"

#include <stdexcept>

#include "core/text.h"
#include "platform/crypto.h"
#include "platform/env.h"
#include "platform/process.h"

namespace {

// Names are ASCII in practice; anything else cannot be set, so it is not found.
std::optional<std::string> NameToUtf8(std::u16string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char16_t c : name) {
    if (c == 0 || c > 127) return std::nullopt;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

void WipeString(std::string& s) {
  platform::SecureZero(s.data(), s.size());
  s.clear();
}

void WipeString(std::u16string& s) {
  platform::SecureZero(s.data(), s.size() * sizeof(char16_t));
  s.clear();
}

// Reads `name` and converts it; empty when unset, invalid, or longer than
// `max_units` (0: no bound).
std::u16string ReadBounded(std::u16string_view name, size_t max_units, bool wipe) {
  // Short names are converted on the stack: reading an unset variable
  // allocates nothing, which the VR frame relies on.
  char short_name[64];
  std::optional<std::string> long_name;
  std::string_view key;
  if (name.size() <= sizeof short_name) {
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == 0 || name[i] > 127) return {};
      short_name[i] = static_cast<char>(name[i]);
    }
    key = {short_name, name.size()};
  } else {
    long_name = NameToUtf8(name);
    if (!long_name) return {};
    key = *long_name;
  }
  auto raw = platform::env::Get(key);
  if (!raw) return {};
  std::u16string value = Utf8ToWideStrict(*raw);
  if (wipe) WipeString(*raw);
  if (max_units != 0 && value.size() > max_units) {
    if (wipe) WipeString(value);
    return {};
  }
  return value;
}

bool WriteVariable(const std::string& name, const std::optional<std::string>& value, platform::env::Layer layer) {
  return value ? platform::env::Set(name, *value, layer) : platform::env::Unset(name, layer);
}

std::optional<std::string> WideToUtf8Optional(std::u16string_view text) {
  std::string out = WideToUtf8(std::u16string(text));
  if (out.empty() && !text.empty()) return std::nullopt;
  return out;
}

}  // namespace

std::u16string ReadEnvironmentString(std::u16string_view name) { return ReadBounded(name, 32766, false); }

std::u16string ReadEnvironmentStringWiped(std::u16string_view name) { return ReadBounded(name, 32767, true); }

std::u16string ReadEnvironmentValue(std::u16string_view name) { return ReadBounded(name, 0, false); }

bool IsLiveProductionMode() { return ReadEnvironmentString(u"QUORIX_RUNTIME_MODE") == u"LIVE_PRODUCTION_RC"; }

void SetProcessEnvironmentFlag(std::u16string_view name, std::optional<std::u16string_view> value) {
  std::string narrow_name;
  for (char16_t c : name) {
    if (c > 127) throw std::runtime_error("NON_ASCII_FLAG_NAME");
    narrow_name.push_back(static_cast<char>(c));
  }
  std::optional<std::string> narrow_value;
  if (value) {
    narrow_value.emplace();
    for (char16_t c : *value) {
      if (c > 127) throw std::runtime_error("NON_ASCII_FLAG_VALUE");
      narrow_value->push_back(static_cast<char>(c));
    }
  }
  // The runtime's copy treats an empty value as removal.
  const std::optional<std::string> runtime_value =
      (narrow_value && narrow_value->empty()) ? std::nullopt : narrow_value;
  if (!WriteVariable(narrow_name, runtime_value, platform::env::Layer::kRuntime)) {
    throw std::runtime_error("CRT_ENVIRONMENT_FAILED");
  }
  if (!WriteVariable(narrow_name, narrow_value, platform::env::Layer::kProcess)) {
    throw std::runtime_error("WIN32_ENVIRONMENT_FAILED");
  }
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char16_t* name)
    : name_(name), saved_(ReadEnvironmentValue(name)) {}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char16_t* name, std::optional<std::u16string_view> value)
    : ScopedEnvironmentVariable(name) {
  const auto key = NameToUtf8(name_);
  if (!key) return;
  const auto utf8 = value ? WideToUtf8Optional(*value) : std::nullopt;
  if (value && !utf8) return;
  WriteVariable(*key, utf8, platform::env::Layer::kProcess);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  const auto key = NameToUtf8(name_);
  if (!key) return;
  // A destructor has no one to tell; the name was checked when it was set.
  if (saved_.empty()) {
    (void)platform::env::Unset(*key);
  } else if (const auto utf8 = WideToUtf8Optional(saved_)) {
    (void)platform::env::Set(*key, *utf8);
  }
}

BrowserRouteEnvironment ParseBrowserRouteEnvironment(const std::u16string& render_endpoint_id,
                                                     const std::u16string& output_generation) {
  if (output_generation.empty() || render_endpoint_id.empty() || render_endpoint_id.size() > 32767 ||
      render_endpoint_id.find(u'\0') != std::u16string::npos) {
    return {};
  }
  uint64_t generation = 0;
  for (char16_t c : output_generation) {
    if (c < u'0' || c > u'9') return {};
    const uint64_t digit = static_cast<uint64_t>(c - u'0');
    if (generation > (UINT64_MAX - digit) / 10) return {};
    generation = generation * 10 + digit;
  }
  if (generation == 0) return {};
  return BrowserRouteEnvironment{render_endpoint_id, generation, true};
}

bool PublishBrowserRenderId(BrowserRouteEnvironment& state, const std::u16string& new_id) {
  if (state.output_generation != 0 && state.render_endpoint_id == new_id) return true;
  const uint64_t generation = state.output_generation + 1;
  bool ok = generation != 0;
  if (ok) {
    const auto id_utf8 = WideToUtf8Optional(new_id);
    ok = id_utf8.has_value();
    if (ok) {
      ok = new_id.empty() ? platform::env::Unset("QUORIX_BROWSER_RENDER_ID")
                          : platform::env::Set("QUORIX_BROWSER_RENDER_ID", *id_utf8);
    }
    ok = ok && platform::env::Set("QUORIX_BROWSER_OUTPUT_GENERATION", std::to_string(generation));
  }
  if (ok) {
    state.render_endpoint_id = new_id;
    state.output_generation = generation;
    return true;
  }
  // The failure is reported below; clearing both is the best left to do.
  (void)platform::env::Unset("QUORIX_BROWSER_RENDER_ID");
  (void)platform::env::Unset("QUORIX_BROWSER_OUTPUT_GENERATION");
  state.render_endpoint_id.clear();
  state.output_generation = 0;
  return false;
}

BrowserRouteEnvironment ReadBrowserRouteEnvironment() {
  std::u16string generation = ReadEnvironmentStringWiped(u"QUORIX_BROWSER_OUTPUT_GENERATION");
  std::u16string id = ReadEnvironmentStringWiped(u"QUORIX_BROWSER_RENDER_ID");
  return ParseBrowserRouteEnvironment(id, generation);
}

std::filesystem::path GetExecutableDirectory() { return platform::ExecutablePath().parent_path(); }
