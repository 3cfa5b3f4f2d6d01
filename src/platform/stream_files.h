#pragma once
// Streamed files: a file written piece by piece that replaces its target only
// when complete, and a reader of bounded lines. Both pass their bytes through
// a 64 KiB buffer that is wiped after each use (the content may be clear chat
// text). One object per file, one thread at a time.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class DurableStreamWriter {
 public:
  // A fresh temporary name for a file that will replace `target`:
  // "<target>.tmp.<process id>.<tick count>", both numbers in decimal.
  static std::filesystem::path TemporaryPathFor(const std::filesystem::path& target);

  // Removes what writers of `target` that ended before their commit (killed,
  // crashed) left beside it: RemoveEndedWritersFiles (platform/files.h) of
  // the names exactly "<target name>.tmp.<pid>.<tick>" (decimal, no sign, no
  // leading zero, pid 1 to 2^31-1, tick below 2^64). Returns how many went.
  static size_t RemoveAbandonedTemporaries(const std::filesystem::path& target);

  DurableStreamWriter();
  // Abandons a file that was not committed.
  ~DurableStreamWriter();
  DurableStreamWriter(const DurableStreamWriter&) = delete;
  DurableStreamWriter& operator=(const DurableStreamWriter&) = delete;

  // Creates `temp` fresh (never through a link), mode 0600 whatever the umask.
  bool Open(const std::filesystem::path& temp);
  // Buffers `bytes`; full buffers are written out.
  bool Write(std::string_view bytes);
  // Writes the rest, flushes to disk, closes and renames the file over
  // `target`, then flushes the folder. False when any step failed; when the
  // rename did not happen the temporary file is removed.
  bool Commit(const std::filesystem::path& target);
  // Closes and removes the temporary file.
  void Abandon();

 private:
  bool Flush();

  int fd_ = -1;
  std::filesystem::path temp_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};

class LineFileReader {
 public:
  enum class Result { kLine, kEnd, kTooLong, kError };

  LineFileReader();
  ~LineFileReader();
  LineFileReader(const LineFileReader&) = delete;
  LineFileReader& operator=(const LineFileReader&) = delete;

  // Opens a regular file without blocking on a FIFO or device; false for a
  // missing file, a folder, a FIFO or a device.
  bool Open(const std::filesystem::path& path);
  // The next line without its line feed; the last line may lack one. kEnd
  // when nothing is left; kTooLong once a line passes `cap` bytes. What
  // `line` held is wiped before it is replaced, and every block the line
  // grows out of is wiped before it is freed; the last line read is the
  // caller's to wipe.
  Result ReadLine(size_t cap, std::string* line);

 private:
  bool Fill();

  int fd_ = -1;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

}  // namespace platform
