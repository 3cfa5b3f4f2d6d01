#pragma once
// Tests only: where the process's application icon is loaded from.
#include <filesystem>

namespace native_kit_test_hooks {

// The folder whose "assets/quorix-icon-256.png" the first icon use reads, in
// place of the executable's folder. Takes effect only before that first use.
void SetAppIconFolder(const std::filesystem::path& folder);

}  // namespace native_kit_test_hooks
