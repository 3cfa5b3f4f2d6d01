#pragma once
// The signed-in session kept across runs: one data-protected file under the
// local application data folder, replaced atomically on save.
//
// File: one protection blob (description "QuorixPhone MVP02 User Session", no
// entropy), at most 4096 bytes. Its plaintext, little-endian, no padding:
//   "QRXMVP02", u32 user id length (1-256), u32 token length (1-2048),
//   user id bytes, token bytes, nothing after.
#include <filesystem>
#include <string>

struct StoredSession {
  std::string user_id;
  std::string token;  // a secret: wipe with SecureWipeString when done
};

// LOCALAPPDATA/QuorixPhone/auth/session.dpapi in production mode, else
// LOCALAPPDATA/QuorixPhoneReal2PCTest/auth/session.dpapi. False when
// LOCALAPPDATA is unset, empty or too long.
bool SessionFilePath(std::filesystem::path* path);

// Reads the session into `session` (cleared first; left empty on any failure).
bool LoadSessionFile(StoredSession* session);

// Saves a session whose user id is 1-256 bytes and token 1-2048 bytes of
// A-Z a-z 0-9 "_" "-", through platform::ReplaceFileDurably (exactly 0600):
// a temporary left by a killed save never blocks a later one. On failure the
// previous file is unchanged.
bool SaveSessionFile(const StoredSession& session);

// Removes the file; a missing file (or folder) counts as removed.
bool DeleteSessionFile();
