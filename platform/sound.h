// Playing a wave file.
#pragma once

#include <string>

namespace quellix::platform {

// Plays the wave file synchronously, with no default sound when the file is
// missing or unreadable (sndPlaySoundA with SND_NODEFAULT on Windows). The
// portable build has no sound output and returns at once.
void PlayWaveSync(const std::string& path);

// Starts the wave file and returns at once. While a sound started this way
// is still playing, the new one is dropped (SND_NOSTOP), so a burst sounds
// once and the first sound is heard whole.
void StartWave(const std::string& path);

}  // namespace quellix::platform
