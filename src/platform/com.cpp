#include "platform/com.h"

namespace platform {

bool InitializeApartment() { return true; }
void UninitializeApartment() {}
bool SetPerMonitorDpiAwareness() { return true; }

}  // namespace platform
