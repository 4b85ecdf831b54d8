// modPlaySound: plays a wave file synchronously, silent when it is missing.
#pragma once

#include <string>

namespace quellix::modPlaySound {

void PlaySound(const std::string& wave_path);

}  // namespace quellix::modPlaySound
