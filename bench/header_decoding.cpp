// Decoding one header of 1 MiB into its items (unfolding, encoded words, charsets, display
// safety), in the shapes that hurt: one huge folded Subject of encoded words, one of unfinished
// encoded words, many small fields, raw 8-bit text, and words alternating between charsets the
// system decodes or labels never seen before. Prints the best and the median of several runs per shape; the target is
// under 0.1 s for every shape. Usage: header_decoding [runs]
#include "pop/HeaderDecoding.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using namespace ormisk;

namespace {

constexpr qsizetype kHeaderBytes = 1024 * 1024;
constexpr double kTargetMs = 100.0;

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

qsizetype byteCount(const QList<QByteArray>& lines)
{
    qsizetype bytes = 0;
    for (const QByteArray& line : lines)
        bytes += line.size() + 2;
    return bytes;
}

// One field whose value is folded over lines made by `piece` until the header holds 1 MiB.
QList<QByteArray> foldedField(const QByteArray& name, const std::function<QByteArray(int)>& piece)
{
    QList<QByteArray> lines { name + ": " + piece(0) };
    qsizetype bytes = lines.first().size() + 2;
    for (int i = 1; bytes < kHeaderBytes; ++i) {
        lines << ' ' + piece(i);
        bytes += lines.last().size() + 2;
    }
    return lines;
}

struct Shape {
    const char* name;
    QList<QByteArray> lines;
};

std::vector<Shape> shapes()
{
    std::vector<Shape> all;
    all.push_back({ "folded Subject, encoded words",
        foldedField("Subject", [](int) { return QByteArray("=?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4=?="); }) });
    all.push_back({ "folded Subject, unfinished words",
        foldedField("Subject", [](int) { return QByteArray("=?UTF-8?Q?caf=C3=A9_au_lait"); }) });
    all.push_back({ "folded Subject, charsets alternating", foldedField("Subject", [](int i) {
                       return QByteArray(i % 2 ? "=?KOI8-R?B?8NLJ18XU?=" : "=?ISO-8859-2?Q?=E8esky?=");
                   }) });
    all.push_back({ "folded Subject, a new label every word",
        foldedField("Subject", [](int i) { return "=?x-charset-" + QByteArray::number(i) + "?Q?a?="; }) });
    all.push_back({ "folded Subject, raw Windows-1252",
        foldedField("Subject", [](int) { return QByteArray("\x93quoted\x94 caf\xe9 \x80 5 \x96 done"); }) });
    all.push_back({ "folded Subject, raw UTF-8", foldedField("Subject", [](int) {
                       return QByteArray("Gr\xc3\xbc\xc3\x9f"
                                         "e aus M\xc3\xbcnchen");
                   }) });
    QList<QByteArray> fields;
    for (int i = 0; byteCount(fields) < kHeaderBytes; ++i)
        fields << "X-Field-" + QByteArray::number(i) + ": =?UTF-8?Q?caf=C3=A9?= and more text";
    all.push_back({ "many small fields", fields });
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::printf(
        "%-40s %9s %9s %9s %7s %7s\n", "shape (1 MiB header)", "best ms", "median ms", "CPU ms", "items", "target");
    for (const Shape& shape : shapes()) {
        std::vector<double> wall;
        std::vector<double> cpu;
        qsizetype items = 0;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer clock;
            clock.start();
            const double cpuStart = threadCpuMs();
            items = parseHeaderLines(shape.lines).size();
            cpu.push_back(threadCpuMs() - cpuStart);
            wall.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        const double cpuMedian = median(cpu);
        std::printf("%-40s %9.2f %9.2f %9.2f %7lld %7s\n", shape.name, *std::min_element(wall.begin(), wall.end()),
            median(wall), cpuMedian, static_cast<long long>(items), cpuMedian < kTargetMs ? "met" : "MISSED");
    }
    std::printf("target: median CPU time under %.0f ms for every shape (%d runs each)\n", kTargetMs, runs);
    return 0;
}
