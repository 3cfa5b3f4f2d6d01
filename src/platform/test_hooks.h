#pragma once
// Hooks for tests only. Nothing in the program includes this header, and
// nothing outside it (no variable, file or argument) can reach these
// settings: they are set by C++ calls from a test binary.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform::testing {

// Connections to `host`:`port` go to 127.0.0.1:`loopback_port` instead. The
// request keeps the real name for the Host header, the TLS server name and
// the certificate name check.
void SetConnectOverride(const std::string& host, uint16_t port, uint16_t loopback_port);
void ClearConnectOverrides();

// Replaces the system trust store with these PEM certificates; empty goes
// back to the system store.
void SetTrustAnchorsPem(const std::string& pem);

// Keeps the data-protection key in `folder` instead of the user's data
// folder; an empty path goes back to the user's folder.
void SetDataProtectionKeyFolder(const std::filesystem::path& folder);
std::filesystem::path GetDataProtectionKeyFolder();

// Makes ExecutablePath() return `path` for the whole process (so that tests
// place programs beside a path of their choosing); empty restores it.
void SetExecutablePathOverride(const std::filesystem::path& path);

// The first temporary name the next ReplaceFileDurably (or its umask form) of
// `target` from this process tries (platform/files.h).
std::filesystem::path NextDurableTemporaryName(const std::filesystem::path& target);

// Local steps that a test can make fail once.
enum class FailStep {
  kHandle,          // creating the HTTPS handle
  kRequest,         // preparing the request
  kRedirectPolicy,  // turning redirects off
  kHeader,          // adding the header of the given name
  kRandomSource,    // drawing random bytes (keys, nonces)
};

// The next time `step` is taken (for kHeader: the header named `header`,
// compared without case), it fails. One pending failure per step.
void FailNext(FailStep step, std::string_view header = {});

// Drops every pending FailNext.
void ClearFailures();

}  // namespace platform::testing
