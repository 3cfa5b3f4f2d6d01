#include "leftovers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "platform/test_hooks.h"

namespace quorix_test {

pid_t EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) throw std::runtime_error("no child to end");
  return child;
}

namespace {

std::filesystem::path LinkTarget(const std::filesystem::path& elsewhere) { return elsewhere / "link target"; }

std::set<std::string> Entries(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

}  // namespace

Leftovers::Leftovers(const std::filesystem::path& target, const std::vector<std::string>& also_taken)
    : target_(target), before_(Entries(target.parent_path())) {
  const std::string name = target.filename();
  const std::string own = std::to_string(::getpid());
  const std::string dead = std::to_string(EndedProcessId());
  // The names the next replace tries first, in order: the folder and the link
  // stay and are passed over, the files go.
  const std::string next = platform::testing::NextDurableTemporaryName(target).filename();
  const std::string prefix = name + ".tmp." + own + ".";
  const uint64_t count = std::stoull(next.substr(prefix.size()));
  seeds_ = {
      {prefix + std::to_string(count), Kind::kFolder, true},
      {prefix + std::to_string(count + 1), Kind::kLink, true},
      {prefix + std::to_string(count + 2), Kind::kFile, false},
      {name + ".tmp." + own, Kind::kFile, false},
      {name + ".tmp." + dead, Kind::kFile, false},
      {name + ".tmp." + dead + ".1", Kind::kFile, false},
      {name + ".tmp." + dead + ".0.partial", Kind::kFile, false},
      {name + ".tmp." + dead + ".", Kind::kFile, false},
      {name + ".tmp." + dead + ".2", Kind::kLink, true},
      {name + ".tmp." + dead + ".3", Kind::kFolder, true},
      {name + ".tmp." + std::to_string(::getppid()) + ".1", Kind::kFile, true},
      {name + ".tmp.1.1", Kind::kFile, true},  // running, whether or not we may signal it
      {name + ".tmp.0.1", Kind::kFile, true},  // 0 names no process
      {name + ".tmp.0" + dead + ".1", Kind::kFile, true},
      {name + ".tmp.+" + dead, Kind::kFile, true},
      {name + ".tmp." + dead + "x", Kind::kFile, true},
      {name + ".tmp.99999999999.1", Kind::kFile, true},  // past 31 bits
      {name + ".tmp", Kind::kFile, true},
      {"x" + name + ".tmp." + dead + ".1", Kind::kFile, true},
      {"other.tmp." + dead + ".1", Kind::kFile, true},
  };
  for (const std::string& taken : also_taken) seeds_.push_back({taken, Kind::kFile, false});
  WriteFile(LinkTarget(elsewhere_.path()), "kept");
  for (const Seed& seed : seeds_) {
    const auto path = target.parent_path() / seed.name;
    if (seed.kind == Kind::kFile) WriteFile(path, "leftover");
    if (seed.kind == Kind::kFolder) std::filesystem::create_directory(path);
    if (seed.kind == Kind::kLink) std::filesystem::create_symlink(LinkTarget(elsewhere_.path()), path);
  }
}

void Leftovers::ExpectOnlyEndedWritersRemoved() const {
  std::set<std::string> expected = before_;
  expected.insert(target_.filename());
  for (const Seed& seed : seeds_) {
    SCOPED_TRACE(seed.name);
    const auto path = target_.parent_path() / seed.name;
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(path)), seed.stays);
    if (!seed.stays) continue;
    expected.insert(seed.name);
    switch (seed.kind) {
      case Kind::kFile: EXPECT_EQ(ReadFile(path), "leftover"); break;
      case Kind::kFolder: EXPECT_TRUE(std::filesystem::is_empty(path)); break;
      case Kind::kLink: EXPECT_EQ(std::filesystem::read_symlink(path), LinkTarget(elsewhere_.path())); break;
    }
  }
  EXPECT_EQ(ReadFile(LinkTarget(elsewhere_.path())), "kept");
  EXPECT_EQ(Entries(target_.parent_path()), expected);
}

}  // namespace quorix_test
