#pragma once
// A dialog's "Test" plays what the dialog shows, not what the program is set to play: the
// running sound settings point at the dialog's file (or folder) for that one call and are put
// back afterwards.
#include <QString>

#include <functional>

namespace ormisk {

struct Options;

struct SoundTrial {
    QString file;
    QString folder;
    bool singleFile = true;
};

// Runs `play` with `trial` in force in `running`, then restores the file, the folder and the mode.
void PlayTrial(Options& running, const SoundTrial& trial, const std::function<void()>& play);

} // namespace ormisk
