#pragma once
// The one routine that plays the new-mail sound, and the completion report that frees the
// device for the next one. Sounds never overlap: a call waits (letting window events run) until
// the sound before it has ended.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace ormisk {

struct AppState;
class SoundPlayer;

class SoundRoutine : public QObject {
    Q_OBJECT
public:
    // beep sounds the system bell when the sound folder cannot be listed; it may be empty.
    SoundRoutine(AppState& state, SoundPlayer& player, std::function<void()> beep, QObject* parent = nullptr);

    // Reads PlayWav, WavFile and WavFolder now, waits for the previous sound, starts the chosen
    // file and returns; SoundIdle stays false until Done().
    void PlayMessage();

    // The player's end-of-sound report (connected in the constructor): frees the device.
    void Done();

    // The file most recently handed to the player. A folder that cannot be listed leaves it as
    // it is, so that file plays again.
    [[nodiscard]] QString fileName() const { return fileName_; }

    // The sound files of a folder: plain, non-hidden files whose name ends in ".wav" in any
    // letter case, sorted by name. ok is false when the folder cannot be listed.
    [[nodiscard]] static QStringList listWavFiles(const QString& folder, bool* ok);

signals:
    // After every Done(): wakes the calls waiting for the device.
    void soundIdle();

private:
    [[nodiscard]] bool waitForIdle();
    void chooseRandomFile();

    AppState& state_;
    SoundPlayer& player_;
    std::function<void()> beep_;
    QString fileName_;
};

} // namespace ormisk
