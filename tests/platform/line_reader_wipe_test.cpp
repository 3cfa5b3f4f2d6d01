// The line reader keeps no line of a file in memory it gives back: every
// block freed through operator delete on the test thread while it reads is
// scanned for the lines' text. Every block handed out meanwhile is zeroed
// first, so that text the test itself left in freed memory (malloc reuses it
// at once in an optimised build) is never taken for the reader's. The
// replaced operators are inert unless armed.
#include <malloc.h>
#include <string.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "platform/stream_files.h"
#include "test_util.h"

namespace {

const char kNeedle[] = "Line-Needle-5813-qzv";
std::atomic<bool> g_armed{false};
std::atomic<int> g_found{0};
thread_local bool t_scanned = false;

}  // namespace

// Out of line, so that no caller in this file sees malloc and free paired
// with new and delete.
namespace {

void* Allocate(size_t size) noexcept {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr && t_scanned && g_armed.load()) memset(block, 0, malloc_usable_size(block));
  return block;
}

}  // namespace

__attribute__((noinline)) void* operator new(size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}
__attribute__((noinline)) void* operator new[](size_t size) { return ::operator new(size); }
__attribute__((noinline)) void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
__attribute__((noinline)) void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
__attribute__((noinline)) void operator delete(void* block) noexcept {
  if (block != nullptr && t_scanned && g_armed.load()) {
    g_found += memmem(block, malloc_usable_size(block), kNeedle, sizeof kNeedle - 1) != nullptr;
  }
  std::free(block);
}
__attribute__((noinline)) void operator delete[](void* block) noexcept { ::operator delete(block); }
__attribute__((noinline)) void operator delete(void* block, size_t) noexcept { ::operator delete(block); }
__attribute__((noinline)) void operator delete[](void* block, size_t) noexcept { ::operator delete(block); }
__attribute__((noinline)) void operator delete(void* block, const std::nothrow_t&) noexcept {
  ::operator delete(block);
}
__attribute__((noinline)) void operator delete[](void* block, const std::nothrow_t&) noexcept {
  ::operator delete(block);
}

namespace {

// `length` bytes of the needle over and over.
std::string LineOf(size_t length) {
  std::string line;
  line.reserve(length + sizeof kNeedle);
  while (line.size() < length) line += kNeedle;
  line.resize(length);
  return line;
}

TEST(LineFileReaderWipe, NoFreedBlockHoldsALineText) {
  quorix_test::TempDir dir;
  const auto path = dir.path() / "lines";
  // Lines that outgrow the one before (the string grows), lines longer than
  // the 64 KiB read buffer (one line is put together from several reads),
  // and short ones after long ones.
  std::vector<std::string> lines;
  for (size_t length : {40, 700, 5000, 70000, 30, 200000, 90, 300000}) lines.push_back(LineOf(length));
  std::string bytes;
  for (const std::string& line : lines) bytes += line + "\n";
  quorix_test::WriteFile(path, bytes);

  t_scanned = true;
  g_armed = true;
  {
    // The scan itself sees a released copy.
    std::string copy = LineOf(100);
    asm volatile("" : : "r"(copy.data()) : "memory");
  }
  EXPECT_EQ(g_found.exchange(0), 1);
  size_t matched = 0;
  {
    platform::LineFileReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::string line;
    while (reader.ReadLine(1 << 20, &line) == platform::LineFileReader::Result::kLine) {
      matched += matched < lines.size() && line == lines[matched];
    }
    // The last line is the caller's to wipe.
    platform::SecureZero(line.data(), line.size());
  }
  g_armed = false;
  t_scanned = false;
  EXPECT_EQ(matched, lines.size());
  EXPECT_EQ(g_found.load(), 0);
}

}  // namespace
