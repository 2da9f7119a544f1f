// The waveform output device of Windows (waveOut), for the device backend and its tests. No OS
// header here: a device number is a plain unsigned.
#pragma once

#include <memory>
#include <string>

#include "platform/audio.h"

namespace navelo {

// The system's default output device (the wave mapper).
inline constexpr unsigned kWaveMapper = 0xFFFFFFFFu;

// How many waveform output devices the system has.
unsigned WaveOutDeviceCount();

// The output on the given device. The device is tried once with a common format (11025 Hz,
// 8 bits, mono) so that a missing or unusable device is known at once: nullptr with error then.
// Afterwards the device is opened lazily by Open, in the format of the blocks played.
std::unique_ptr<AudioOutput> MakeWaveOutAudio(unsigned device, std::string& error);

}  // namespace navelo
