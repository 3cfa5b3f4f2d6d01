#pragma once
// The native screens dump_phone_frames draws with --native: sign-in, home,
// both lists and the open conversation, each light and dark, Japanese and
// English, plus one contact sheet at half size per theme and language.
#include <filesystem>

// Writes the pictures into `folder`; the number of files that failed.
int DumpNativeViews(const std::filesystem::path& folder);
