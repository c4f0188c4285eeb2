#include "sound/SoundTrial.h"

#include "store/Options.h"

#include <utility>

namespace ormisk {

void PlayTrial(Options& running, const SoundTrial& trial, const std::function<void()>& play)
{
    const QString file = std::exchange(running.WavFile, trial.file);
    const QString folder = std::exchange(running.WavFolder, trial.folder);
    const bool single = std::exchange(running.PlayWav, trial.singleFile);
    play();
    running.WavFile = file;
    running.WavFolder = folder;
    running.PlayWav = single;
}

} // namespace ormisk
