#include "phone_service/windows_wire.h"

namespace quorix_phone {

bool WindowsWire::Start(const std::string&, const std::string&) { return false; }

}  // namespace quorix_phone
