#include "sound/PulseSoundWorker.h"

#include <QFile>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <sndfile.h>

#include <memory>
#include <vector>

namespace ormisk {

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
struct SimpleFree {
    void operator()(pa_simple* stream) const { pa_simple_free(stream); }
};

QString pulseError(int error)
{
    return QString::fromUtf8(pa_strerror(error));
}

} // namespace

void PulseSoundWorker::playFile(quint64 id, const QString& file)
{
    if (abort.load()) {
        emit ended(id, false, QStringLiteral("stopped"));
        return;
    }
    SF_INFO info {};
    // QFile::encodeName gives the bytes of the path as the file system spells it.
    std::unique_ptr<SNDFILE, SndFileCloser> sound(sf_open(QFile::encodeName(file).constData(), SFM_READ, &info));
    if (!sound) {
        emit ended(id, false, QStringLiteral("cannot open %1: %2").arg(file, QString::fromUtf8(sf_strerror(nullptr))));
        return;
    }
    pa_sample_spec sampleFormat {};
    sampleFormat.format = PA_SAMPLE_FLOAT32NE;
    sampleFormat.rate = static_cast<uint32_t>(info.samplerate);
    sampleFormat.channels = static_cast<uint8_t>(info.channels);
    if (info.channels < 1 || info.channels > static_cast<int>(PA_CHANNELS_MAX) || info.samplerate < 1
        || !pa_sample_spec_valid(&sampleFormat)) {
        emit ended(id, false, QStringLiteral("unsupported format in %1").arg(file));
        return;
    }
    const qint64 lengthMs = info.frames > 0 ? static_cast<qint64>(info.frames) * 1000 / info.samplerate : -1;
    emit opened(id, lengthMs);

    // A new connection for every sound: a server that restarted or started late is simply found.
    int error = 0;
    const QByteArray streamName = QFile::encodeName(file);
    std::unique_ptr<pa_simple, SimpleFree> stream(pa_simple_new(
        nullptr, "Ormisk", PA_STREAM_PLAYBACK, nullptr, streamName.constData(), &sampleFormat, nullptr, nullptr, &error));
    if (!stream) {
        emit ended(id, false, QStringLiteral("no sound server: %1").arg(pulseError(error)));
        return;
    }

    constexpr sf_count_t kChunkFrames = 4096;
    std::vector<float> buffer(static_cast<size_t>(kChunkFrames) * static_cast<size_t>(info.channels));
    for (;;) {
        if (abort.load()) {
            pa_simple_flush(stream.get(), nullptr);
            emit ended(id, false, QStringLiteral("stopped"));
            return;
        }
        const sf_count_t frames = sf_readf_float(sound.get(), buffer.data(), kChunkFrames);
        if (frames <= 0)
            break;
        const size_t bytes = static_cast<size_t>(frames) * static_cast<size_t>(info.channels) * sizeof(float);
        if (pa_simple_write(stream.get(), buffer.data(), bytes, &error) < 0) {
            emit ended(id, false, QStringLiteral("playing failed: %1").arg(pulseError(error)));
            return;
        }
    }
    // Drain returns when the server has played the last frame: that is the end of the sound.
    if (pa_simple_drain(stream.get(), &error) < 0) {
        emit ended(id, false, QStringLiteral("playing failed: %1").arg(pulseError(error)));
        return;
    }
    emit ended(id, true, QString());
}

} // namespace ormisk
