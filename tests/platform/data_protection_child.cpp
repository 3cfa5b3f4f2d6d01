// A small program for the data-protection tests: seals its argument with the
// key in the given folder and writes the blob to a file.
//   data_protection_child KEY_FOLDER OUTPUT_FILE PLAINTEXT
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/data_protection.h"
#include "platform/test_hooks.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  platform::testing::SetDataProtectionKeyFolder(argv[1]);
  std::string blob;
  if (!platform::ProtectData(argv[3], u"child", "", &blob)) return 1;
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << blob;
  return out.good() ? 0 : 3;
}
