#include "platform/sound.h"

namespace quellix::platform {

void PlayWaveSync(const std::string& /*path*/) {}
void StartWave(const std::string& /*path*/) {}

}  // namespace quellix::platform
