#pragma once
// Reading and setting the process's environment variables, the process
// feature flags and the browser audio route variables.
//
// Names and values are UTF-16 here; the platform's table stores UTF-8.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The value of `name`; empty when unset, when its length is 0 or above 32766
// UTF-16 units, or when it is not valid UTF-8.
std::u16string ReadEnvironmentString(std::u16string_view name);

// The same with a bound of 32767 units; temporary copies are zero-filled.
std::u16string ReadEnvironmentStringWiped(std::u16string_view name);

// The value with no length bound of its own; empty when unset.
std::u16string ReadEnvironmentValue(std::u16string_view name);

// QUORIX_RUNTIME_MODE is exactly "LIVE_PRODUCTION_RC".
bool IsLiveProductionMode();

// Sets (or, for no value, removes) an ASCII variable in the runtime's and the
// process's copy of the environment. Throws std::runtime_error with
// "NON_ASCII_FLAG_NAME", "NON_ASCII_FLAG_VALUE" (before anything changed),
// "CRT_ENVIRONMENT_FAILED" or "WIN32_ENVIRONMENT_FAILED".
void SetProcessEnvironmentFlag(std::u16string_view name, std::optional<std::u16string_view> value);

// Restores a variable to the value it had when the object was made: the
// saved value when it was not empty, else the variable is removed.
class ScopedEnvironmentVariable {
 public:
  explicit ScopedEnvironmentVariable(const char16_t* name);
  // Saves the current value, then sets `value` (no value removes it).
  ScopedEnvironmentVariable(const char16_t* name, std::optional<std::u16string_view> value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  const char16_t* name_;
  std::u16string saved_;
};

// The record form of QUORIX_BROWSER_RENDER_ID and QUORIX_BROWSER_OUTPUT_GENERATION.
struct BrowserRouteEnvironment {
  std::u16string render_endpoint_id;
  uint64_t output_generation = 0;
  bool valid = false;
};

// The generation must be a non-empty run of decimal digits whose value fits
// in 64 bits and is not 0; the id must have 1 to 32767 units and no NUL.
// Otherwise the result is the empty record.
BrowserRouteEnvironment ParseBrowserRouteEnvironment(const std::u16string& render_endpoint_id,
                                                     const std::u16string& output_generation);

// Publishes `new_id` with the next generation; an unchanged id after the
// first publication changes nothing. On failure both variables are removed
// and the state is cleared.
bool PublishBrowserRenderId(BrowserRouteEnvironment& state, const std::u16string& new_id);

BrowserRouteEnvironment ReadBrowserRouteEnvironment();

// The folder of the running executable.
std::filesystem::path GetExecutableDirectory();
