// dump_phone_frames [--native | --more] <folder>: writes the launcher's pages
// and its chat app (or, with --native, the native screens; with --more, the
// settings-side screens, the popups and the launcher's slides) as PNG files for a person
// to look at,
// with the clock pinned at 09:05 so that every run gives the same bytes.
// Exit code 0 when every picture was written.
#include <filesystem>
#include <iostream>
#include <string_view>

#include "dump_native_views.h"

int main(int argc, char** argv) {
  int (*dump)(const std::filesystem::path&) = DumpLauncherViews;
  if (argc == 3 && std::string_view(argv[1]) == "--native") {
    dump = DumpNativeViews;
  } else if (argc == 3 && std::string_view(argv[1]) == "--more") {
    dump = DumpMoreViews;
  } else if (argc != 2) {
    std::cerr << "usage: dump_phone_frames [--native | --more] <folder>\n";
    return 2;
  }
  const std::filesystem::path folder = argv[argc - 1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return dump(folder) == 0 ? 0 : 1;
}
