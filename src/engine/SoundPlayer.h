#pragma once
// The sound device as the sound routine sees it: start one file, hear about its end once.
#include <QObject>
#include <QString>

namespace ormisk {

class SoundPlayer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SoundPlayer() override = default;

    // Starts the file and returns at once. Every call is answered by exactly one finished(),
    // also when the file is missing, is not audio or no sound server can be reached, and never
    // from inside play() itself.
    virtual void play(const QString& file) = 0;

signals:
    void finished();
};

} // namespace ormisk
