#pragma once
// The pictures dump_phone_frames draws. With --native the native screens:
// sign-in, home, both lists and the open conversation, each light and dark,
// Japanese and English, plus one contact sheet at half size per theme and
// language; with --more the settings-side screens and the popups; without a
// mode the launcher, the keyboards and the launcher's chat app.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "support/fake_text_rasterizer.h"
#include "support/phone_fixture.h"

struct NativeView {
  const char* name;
  std::function<void(quorix_test::PhoneFixture&)> setup;
};

// The dumps draw their text with the real rasteriser and write pictures.
// Handed a list, they write nothing, and their phone fixtures draw with the
// recording fake and add every draw request to it (null: back to pictures).
// The launcher pages and the keyboards draw with the calling thread's
// rasteriser, whichever it is.
void CollectDumpDraws(std::vector<test_support::RecordedTextDraw>* draws);
// The text of the dumps' phone fixtures, and the hand-over of their draws.
quorix_test::PhoneText DumpText();
void NoteDumpDraws(quorix_test::PhoneFixture& fixture);
// Writes one picture; 1 (and a line on standard error) when it cannot.
int WriteDumpPicture(const std::filesystem::path& file, uint32_t width, uint32_t height,
                     std::span<const uint8_t> rgba);

// The views in sheet order; each sets up a fresh fixture.
const std::vector<NativeView>& NativeDumpViews();

// The settings-side screens of DumpMoreViews, each set up as for a fresh
// fixture.
const std::vector<NativeView>& MoreDumpViews();

// Writes the pictures into `folder`; the number of files that failed.
int DumpNativeViews(const std::filesystem::path& folder);

// The launcher's pages, the keyboard in every layout and the launcher's chat
// app into `folder`; the number of files that failed.
int DumpLauncherViews(const std::filesystem::path& folder);

// The launcher's chat app pictures (account page, chat view, audio device
// page, call panel) into `folder`; the number of files that failed.
int DumpChatAppViews(const std::filesystem::path& folder);

// The settings-side screens, the popup cards in every state (540 × 300 and
// 540 × 200) and the launcher mid-slide and mid-transition, into `folder`;
// the number of files that failed.
int DumpMoreViews(const std::filesystem::path& folder);
