#pragma once
// The self-check modes. Each drives the real components against fakes and
// writes its verdict file into the output directory.
//
// The checks are not part of this program (the test suite covers them): every
// mode says so on standard output and fails, so that no run can be taken for
// a pass.
#include <string>

#define QUORIX_SELF_CHECK_FIXTURE(Name) \
  struct Name {                         \
    static int Run(const std::u16string& output_dir); \
  };

QUORIX_SELF_CHECK_FIXTURE(UiLoginSettingsFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui41VolumeFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui42PointerSettingsFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui38OutputRouteFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui37ScaleFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui37SharedInputFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui38VrReliabilityFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui37BrowserInputFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui35DictionaryFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui35CandidateFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui34NoticeFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui34ImeFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui34IntegrationFixture)
QUORIX_SELF_CHECK_FIXTURE(Ui33Fixture)
QUORIX_SELF_CHECK_FIXTURE(Ui32Fixture)
QUORIX_SELF_CHECK_FIXTURE(Ui31StartupFixture)

// Shared by the six package checks; 3 when the output directory exists already.
QUORIX_SELF_CHECK_FIXTURE(DesktopPackageFixture)

#undef QUORIX_SELF_CHECK_FIXTURE

// The "--ui3-checks" mode, given its directory as the command line passed it.
struct Ui3Fixture {
  static int Run(const std::string& output_dir);
};
