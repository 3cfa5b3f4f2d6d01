#pragma once
// Data protection for the current user: CryptProtectData and
// CryptUnprotectData as the program uses them.
//
// A blob is sealed with AES-256-GCM under one per-user key (a fresh 12-byte
// nonce per call):
//   "QDP1", u32 LE description length, description (UTF-8), nonce,
//   ciphertext, 16-byte tag.
// The authenticated data is the magic, the description length and bytes, the
// u32 LE entropy length and the entropy, so a blob opens only with the same
// entropy and with its description unchanged.
//
// The key is 32 random bytes in "data-protection.key" (mode 0600) in the
// folder "quorix-platform" (0700) under the user's data folder (XDG_DATA_HOME,
// else HOME/.local/share). It is created once, atomically, by the first
// ProtectData; an existing key is never rewritten. A key that is present but
// fails a check (not a regular 32-byte file of ours with no group or other
// bits, a symbolic link, a folder others can write) makes both calls fail.
// All functions may be called from any thread.
#include <string>
#include <string_view>

#include "platform/secret_buffer.h"

namespace platform {

// Seals `plain` into `blob`. False (blob empty) when the key cannot be had or
// made, the description is not valid UTF-16, or a step fails.
[[nodiscard]] bool ProtectData(std::string_view plain, std::u16string_view description, std::string_view entropy,
                 std::string* blob);

// Opens a blob made by ProtectData with the same entropy into `plain`. False
// (plain empty) for a blob altered in any byte, another key, other entropy,
// or a missing key (which this call never creates).
[[nodiscard]] bool UnprotectData(std::string_view blob, std::string_view entropy, SecretBuffer* plain);

}  // namespace platform
