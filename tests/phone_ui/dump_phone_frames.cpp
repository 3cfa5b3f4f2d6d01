// dump_phone_frames <folder>: writes the launcher's pages as PNG files for a
// person to look at, with the clock pinned at 09:05 so that every run gives
// the same bytes. Exit code 0 when every picture was written.
#include <filesystem>
#include <functional>
#include <iostream>

#include "phone_ui/app_lifecycle.h"
#include "phone_ui/canvas.h"
#include "phone_ui/launcher.h"
#include "phone_ui/phone_ui.h"
#include "platform/clock.h"
#include "platform/png_codec.h"

namespace {

struct View {
  const char* file;
  std::function<void(PhoneCanvas&, PhoneUi&)> draw;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: dump_phone_frames <folder>\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);

  platform::ManualClock clock;
  clock.local = {2026, 1, 2, 9, 5, 0, 0};
  platform::SetClockForTesting(&clock);

  PhoneAppLifecycle lifecycle;
  lifecycle.apps[4].installed = false;
  lifecycle.last_uninstalled_app = 4;
  lifecycle.apps[5].state = kAppForeground;
  lifecycle.apps[5].detached = true;
  lifecycle.detached_app = 5;

  const View views[] = {
      {"home_page_1.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, false, 0, -1); }},
      {"home_page_2.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, false, 1, -1); }},
      {"app_notes_stopped.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 3); }},
      {"app_timer_detached.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 5); }},
      {"app_gallery_uninstalled.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 4); }},
      {"app_settings_protected.png", [](PhoneCanvas& c, PhoneUi& ui) { ComposeLauncherPage(c, ui, true, 0, 9); }},
      {"app_calendar_no_state.png",
       [](PhoneCanvas& c, PhoneUi& ui) {
         ui.app_lifecycle = nullptr;
         ComposeLauncherPage(c, ui, true, 0, 6);
       }},
  };
  int failures = 0;
  for (const View& view : views) {
    PhoneUi ui;
    ui.app_lifecycle = &lifecycle;
    PhoneCanvas canvas(255);
    view.draw(canvas, ui);
    const platform::PngStatus status =
        platform::WritePngFile(folder / view.file, kCanvasWidth, kCanvasHeight, canvas.bytes());
    if (status != platform::PngStatus::kOk) {
      std::cerr << "cannot write " << (folder / view.file).string() << "\n";
      ++failures;
    }
  }
  platform::SetClockForTesting(nullptr);
  return failures == 0 ? 0 : 1;
}
