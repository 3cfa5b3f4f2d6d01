#include "platform/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// One owner closes a descriptor once: a move hands it on and empties the
// source, `release` hands it out, `Close` reports a second close as nothing.
TEST(UniqueFdTest, OwnsOneDescriptorAcrossMoveReleaseAndClose) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC), 0);
  const int read_end = pipe_fds[0];
  {
    platform::UniqueFd first(read_end);
    platform::UniqueFd second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), read_end);
    platform::UniqueFd third;
    third = std::move(second);
    EXPECT_FALSE(second.valid());
    EXPECT_TRUE(IsOpen(read_end));
  }
  EXPECT_FALSE(IsOpen(read_end));

  platform::UniqueFd write_owner(pipe_fds[1]);
  const int handed = write_owner.release();
  EXPECT_FALSE(write_owner.valid());
  EXPECT_FALSE(write_owner.Close());
  EXPECT_TRUE(IsOpen(handed));
  platform::UniqueFd again(handed);
  EXPECT_TRUE(again.Close());
  EXPECT_FALSE(again.Close());
  EXPECT_FALSE(IsOpen(handed));
}

}  // namespace
