#pragma once
// The program's binding of the start-up, loop and shutdown to the real
// subsystems.
#include <cstdint>
#include <functional>
#include <memory>

#include "core/app_loop.h"

struct UiSettings;

std::unique_ptr<AppHost> MakeProgramHost();

// The browser overlay's callbacks into the settings record, for the VR
// session to hand on: the volume is stored, saved, routed to the browser
// audio guard and logged; a panel size is stored and saved.
std::function<void(uint32_t)> MakeBrowserVolumeCallback(UiSettings& settings);
std::function<void(uint32_t, uint32_t)> MakeBrowserSizeCallback(UiSettings& settings);
