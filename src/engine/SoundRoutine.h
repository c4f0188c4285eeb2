#pragma once
// The one routine that plays the new-mail sound, and the completion report that frees the
// device for the next one. Sounds never overlap: a call waits until the sound before it has
// ended, and waiting calls take their turns in the order they came.
#include "engine/SoundRequest.h"

#include <QCoro/QCoroTask>
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

    // Waits for the previous sound, starts the file `request` names (or one picked from its
    // folder) and ends; idle() stays false until Done(). The request is fixed when the call is
    // made: options changed while it waits change nothing here, nor does the call change them.
    [[nodiscard]] QCoro::Task<> PlayMessage(SoundRequest request);

    // The player's end-of-sound report (connected in the constructor): frees the device.
    void Done();
    // SoundIdle: false from a sound's start until its end was reported.
    [[nodiscard]] bool idle() const { return m_soundIdle; }

    // The file most recently handed to the player. A folder that cannot be listed leaves it as
    // it is, so that file plays again.
    [[nodiscard]] QString fileName() const { return m_fileName; }

    // The sound files of a folder: plain, non-hidden files whose name ends in ".wav" in any
    // letter case, sorted by name. ok is false when the folder cannot be listed.
    [[nodiscard]] static QStringList listWavFiles(const QString& folder, bool* ok);

signals:
    // After every Done(): wakes the calls waiting for the device.
    void soundIdle();

private:
    void chooseRandomFile(const QString& folder);

    AppState& m_state;
    SoundPlayer& m_player;
    std::function<void()> m_beep;
    QString m_fileName;
    bool m_soundIdle = true;
};

} // namespace ormisk
