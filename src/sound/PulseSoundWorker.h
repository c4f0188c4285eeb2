#pragma once
// The blocking half of PulseSoundPlayer; lives on the player's worker thread.
#include <QObject>
#include <QString>

#include <atomic>

namespace ormisk {

class PulseSoundWorker : public QObject {
    Q_OBJECT
public:
    // Set from the window thread when the player goes away: the sound in progress is cut short.
    std::atomic<bool> abort { false };

    // Opens the file, plays it through a new stream and returns once the server has played it
    // (or it failed). Reports through the signals below.
    void playFile(quint64 id, const QString& file);

signals:
    void opened(quint64 id, qint64 lengthMs);
    void ended(quint64 id, bool ok, const QString& reason);
};

} // namespace ormisk
