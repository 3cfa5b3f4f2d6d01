#include "platform/guid.h"

#include <sys/random.h>

#include <cstring>

#include "platform/unique_fd.h"

namespace platform {

std::optional<Guid> CreateGuid() {
  uint8_t bytes[16];
  size_t filled = 0;
  while (filled < sizeof(bytes)) {
    const ssize_t n = RetryOnEintr([&] { return getrandom(bytes + filled, sizeof(bytes) - filled, 0); });
    if (n < 0) return std::nullopt;
    filled += static_cast<size_t>(n);
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  Guid guid;
  guid.data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
               static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
  guid.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(guid.data4.data(), bytes + 8, 8);
  return guid;
}

}  // namespace platform
