#pragma once
// What killed writers leave beside a file that is replaced through a
// temporary file, and the check that the next replace neither trips over it
// nor removes more than what ended writers left.
#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"

namespace quorix_test {

// The id of a process that has ended: a child started and reaped here.
pid_t EndedProcessId();

// Seeds leftovers beside `target` (whose folder must exist):
// - at the names this process's next replaces take first: the next three
//   durable temporary names (a folder, a link to a file elsewhere, a file),
//   "<target>.tmp.<pid>" and each of `also_taken` (files): what an earlier
//   process with this pid left;
// - an ended writer's "<name>.tmp.<pid>" and "<name>.tmp.<pid>.<anything>"
//   files;
// - a running process's, a link and a folder at an ended writer's names,
//   another target's, and names that only look alike.
// Only the files of ended writers, this pid's among them, may go.
class Leftovers {
 public:
  explicit Leftovers(const std::filesystem::path& target, const std::vector<std::string>& also_taken = {});
  Leftovers(const Leftovers&) = delete;
  Leftovers& operator=(const Leftovers&) = delete;

  // After a replace of the target: the ended writer's files went, all else
  // stayed as it was (the link's target too), and the folder holds nothing
  // new but the target itself.
  void ExpectOnlyEndedWritersRemoved() const;

 private:
  enum class Kind { kFile, kFolder, kLink };
  struct Seed {
    std::string name;
    Kind kind;
    bool stays;
  };

  std::filesystem::path target_;
  TempDir elsewhere_;  // holds the file the seeded links point at
  std::set<std::string> before_;  // the folder's entries before seeding
  std::vector<Seed> seeds_;
};

}  // namespace quorix_test
