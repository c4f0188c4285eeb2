#include "support/WavWriter.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <cmath>

namespace ormisk::test {

namespace {

void append32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void append16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

} // namespace

bool writeToneWav(const QString& path, int milliseconds, int frequency, int sampleRate)
{
    const quint32 frames = static_cast<quint32>(qint64(sampleRate) * milliseconds / 1000);
    const quint32 dataBytes = frames * 2;
    QByteArray out;
    out.append("RIFF");
    append32(out, 36 + dataBytes);
    out.append("WAVEfmt ");
    append32(out, 16);
    append16(out, 1); // PCM
    append16(out, 1); // mono
    append32(out, static_cast<quint32>(sampleRate));
    append32(out, static_cast<quint32>(sampleRate) * 2);
    append16(out, 2);
    append16(out, 16);
    out.append("data");
    append32(out, dataBytes);
    for (quint32 i = 0; i < frames; ++i) {
        const double v = 0.5 * std::sin(2.0 * M_PI * frequency * i / sampleRate);
        append16(out, static_cast<quint16>(static_cast<qint16>(v * 32767)));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

} // namespace ormisk::test
