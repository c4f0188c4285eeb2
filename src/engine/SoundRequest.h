#pragma once
// What one call of the sound routine plays, fixed when the call is made: one file, or a file
// picked at random from a folder. A caller that wants a particular file says so here; nothing is
// lent to the running options meanwhile.
#include "store/Options.h"

#include <QString>

namespace ormisk {

struct SoundRequest {
    bool singleFile = true; // PlayWav: play `file`; otherwise a file picked at random from `folder`
    QString file;
    QString folder;

    // What the options say the new-mail sound is.
    [[nodiscard]] static SoundRequest fromOptions(const Options& options)
    {
        return { options.PlayWav, options.WavFile, options.WavFolder };
    }
    // The options' sound, with `wavFile` in place of theirs (random mode ignores it).
    [[nodiscard]] static SoundRequest ruleSound(const Options& options, const QString& wavFile)
    {
        return { options.PlayWav, wavFile, options.WavFolder };
    }
};

} // namespace ormisk
