// Our stand-in for the alert sound of AudioToolbox: the terminal bell, when the process has a
// terminal; nothing otherwise.
#pragma once

#include <cstdint>

namespace kova::cf
{

// The system's preferred alert sound.
constexpr uint32_t kSystemSoundID_UserPreferredAlert = 0x00001000;

void AudioServicesPlayAlertSound(uint32_t inSoundID);

} // namespace kova::cf
