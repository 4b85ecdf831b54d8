#include <windows.h>
#include <mmsystem.h>

#include "platform/code_page.h"
#include "platform/sound.h"

namespace quellix::platform {

void PlayWaveSync(const std::string& path) {
  // Flag 2 alone (SND_NODEFAULT): synchronous, silent when the file is missing.
  sndPlaySoundA(AnsiFromUtf8(path).c_str(), SND_NODEFAULT);
}

void StartWave(const std::string& path) {
  sndPlaySoundA(AnsiFromUtf8(path).c_str(), SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

}  // namespace quellix::platform
