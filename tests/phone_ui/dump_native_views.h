#pragma once
// The native screens dump_phone_frames draws with --native: sign-in, home,
// both lists and the open conversation, each light and dark, Japanese and
// English, plus one contact sheet at half size per theme and language.
#include <filesystem>
#include <functional>
#include <vector>

namespace quorix_test {
class PhoneFixture;
}

struct NativeView {
  const char* name;
  std::function<void(quorix_test::PhoneFixture&)> setup;
};

// The views in sheet order; each sets up a fresh fixture.
const std::vector<NativeView>& NativeDumpViews();

// Writes the pictures into `folder`; the number of files that failed.
int DumpNativeViews(const std::filesystem::path& folder);

// The launcher's chat app pictures (account page, chat view, audio device
// page, call panel) into `folder`; the number of files that failed.
int DumpChatAppViews(const std::filesystem::path& folder);

// The settings-side screens, the popup cards in every state (540 × 300 and
// 540 × 200) and the launcher mid-slide and mid-transition, into `folder`;
// the number of files that failed.
int DumpMoreViews(const std::filesystem::path& folder);
