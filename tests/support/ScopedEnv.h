#pragma once
// Sets environment variables for the life of the object and puts the old values back after.
#include <QByteArray>
#include <QList>
#include <QPair>

namespace ormisk::test {

class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const char* name, const QByteArray& value) { set(name, value); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->wasSet)
                qputenv(it->name.constData(), it->value);
            else
                qunsetenv(it->name.constData());
        }
    }

    void set(const char* name, const QByteArray& value)
    {
        saved_.append({ QByteArray(name), qEnvironmentVariableIsSet(name), qgetenv(name) });
        qputenv(name, value);
    }

private:
    struct Saved {
        QByteArray name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> saved_;
};

} // namespace ormisk::test
