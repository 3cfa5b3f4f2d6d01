#include "selfcheck/fixtures.h"

#include <cstdio>

#include "core/text.h"
#include "platform/files.h"

namespace {

int NotAvailable(const char* mode) {
  std::printf("%s: this self-check is not available in this build\n", mode);
  std::fflush(stdout);
  return 1;
}

}  // namespace

#define QUORIX_UNAVAILABLE_FIXTURE(Name, option) \
  int Name::Run(const std::u16string&) { return NotAvailable(option); }

QUORIX_UNAVAILABLE_FIXTURE(UiLoginSettingsFixture, "--login-settings-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui41VolumeFixture, "--ui41-volume-ui-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui42PointerSettingsFixture, "--ui42-pointer-settings-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui38OutputRouteFixture, "--ui38-output-route-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui37ScaleFixture, "--ui37-scale-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui37SharedInputFixture, "--ui37-shared-input-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui38VrReliabilityFixture, "--ui38-vr-reliability-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui37BrowserInputFixture, "--ui37-browser-input-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui35DictionaryFixture, "--ui35-dictionary-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui35CandidateFixture, "--ui35-candidate-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui34NoticeFixture, "--ui34-notice-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui34ImeFixture, "--ui34-ime-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui34IntegrationFixture, "--ui34-integration-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui33Fixture, "--ui33-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui32Fixture, "--ui32-checks")
QUORIX_UNAVAILABLE_FIXTURE(Ui31StartupFixture, "--ui31-startup-check")

#undef QUORIX_UNAVAILABLE_FIXTURE

int DesktopPackageFixture::Run(const std::u16string& output_dir) {
  const std::string dir = WideToUtf8(output_dir);
  if (!dir.empty() && platform::PathExists(dir)) return 3;
  return NotAvailable("package check");
}

int Ui3Fixture::Run(const std::string&) { return NotAvailable("--ui3-checks"); }
