#pragma once
// The program's binding of the start-up, loop and shutdown to the real
// subsystems.
#include <memory>

#include "core/app_loop.h"

std::unique_ptr<AppHost> MakeProgramHost();
