// A program that starts the call-audio worker as Quorix does and then waits
// to be killed: argv[1] is the folder that holds the worker. Prints
// "WORKER <pid>" once the worker runs.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "phone_service/windows_media.h"
#include "platform/test_hooks.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  platform::testing::SetExecutablePathOverride(std::filesystem::path(argv[1]) / "Quorix");
  quorix_phone::WindowsMedia media;
  if (!media.Start()) return 1;
  std::printf("WORKER %u\n", media.process.process_id);
  std::fflush(stdout);
  for (;;) pause();
}
