#pragma once
// What the benchmarks report about their own process: memory from /proc and CPU time.
#include <QByteArray>
#include <QFile>

#include <sys/resource.h>

namespace ormisk::bench {

// A line of /proc/self/status ("VmHWM", "VmRSS"), e.g. "34560 kB".
inline QByteArray memoryFigure(const QByteArray& name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return "unknown";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed();
    }
    return "unknown";
}

inline QByteArray peakMemory() { return memoryFigure("VmHWM"); }

// User plus system CPU seconds of the process (RUSAGE_SELF) or the calling thread (RUSAGE_THREAD).
inline double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace ormisk::bench
