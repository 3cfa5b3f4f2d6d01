#pragma once
// The media worker client. Not connected to a worker yet: it starts nothing
// and reports no events.
#include <string>

#include "phone_service/network.h"

namespace quorix_phone {

class WindowsMedia final : public Media {
 public:
  WindowsMedia() = default;
  ~WindowsMedia() override { Stop(); }
  WindowsMedia(const WindowsMedia&) = delete;
  WindowsMedia& operator=(const WindowsMedia&) = delete;

  bool Start() override { return false; }
  bool SendCommand(const std::string&) override { return false; }
  bool PollEvent(std::string&) override { return false; }
  void Stop() override {}
};

}  // namespace quorix_phone
