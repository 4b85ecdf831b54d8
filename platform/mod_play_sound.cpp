#include "platform/mod_play_sound.h"

#include "platform/sound.h"

namespace quellix::modPlaySound {

void PlaySound(const std::string& wave_path) { platform::PlayWaveSync(wave_path); }
void StartSound(const std::string& wave_path) { platform::StartWave(wave_path); }

}  // namespace quellix::modPlaySound
