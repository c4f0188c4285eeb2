#pragma once
// Writes small 16-bit PCM test tones without any outside tool.
#include <QString>

namespace ormisk::test {

// A sine tone of the given length, mono, 16-bit, at the given rate. Returns false on I/O errors.
bool writeToneWav(const QString& path, int milliseconds, int frequency = 440, int sampleRate = 22050);

} // namespace ormisk::test
