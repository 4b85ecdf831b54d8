// modPlaySound: plays a wave file synchronously, silent when it is missing.
#pragma once

#include <string>

namespace quellix::modPlaySound {

void PlaySound(const std::string& wave_path);
// Starts it without waiting; dropped while one started so is still playing.
void StartSound(const std::string& wave_path);

}  // namespace quellix::modPlaySound
