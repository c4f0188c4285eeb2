#include "engine/MailLog.h"

#include "store/AppState.h"

#include <QDir>
#include <QFileInfo>

namespace ormisk {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
// A file name component holds at most 255 bytes on common Linux file systems.
constexpr qsizetype kMaxNameBytes = 255;
const QString kSuffix = QStringLiteral(".doc");

} // namespace

MailLog::~MailLog()
{
    close();
}

QString MailLog::safeFileTitle(const QString& title)
{
    QString safe;
    safe.reserve(title.size());
    for (const QChar c : title) {
        const char16_t u = c.unicode();
        safe += (u == u'/' || u < 0x20 || u == 0x7F) ? QChar(u'_') : c;
    }
    bool onlyDots = true;
    for (const QChar c : std::as_const(safe))
        onlyDots = onlyDots && c == QLatin1Char('.');
    if (onlyDots)
        safe = safe.isEmpty() ? QStringLiteral("_") : QString(safe.size(), QLatin1Char('_'));
    // Cut whole characters (never half a surrogate pair) until the name with its suffix fits.
    const qsizetype room = kMaxNameBytes - kSuffix.toUtf8().size();
    while (safe.toUtf8().size() > room) {
        safe.chop(1);
        if (!safe.isEmpty() && safe.back().isHighSurrogate())
            safe.chop(1);
    }
    return safe;
}

QString MailLog::fileName(const AppState& state, const QString& title)
{
    return state.options.LogAllInOne ? QStringLiteral("Master.doc") : safeFileTitle(title) + kSuffix;
}

QByteArray MailLog::record(const QString& headerText)
{
    return QByteArrayLiteral("[Begin Header]\r\n") + headerText.toUtf8() + QByteArrayLiteral("[End Header]\r\n\r\n");
}

bool MailLog::open(const AppState& state, const QString& title)
{
    close();
    QString folder = state.options.LogFilesPath;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!folder.isEmpty() && !QDir().mkpath(folder))
        return false;
    const QString path = folder + fileName(state, title);
    // Anything but a plain file (a folder, a pipe nobody reads, a device) is left alone: opening
    // a pipe for writing could block the check indefinitely.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return false;
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    // A file whose last line was left unfinished (edited by hand, or an old crash) gets a line
    // break in front of the next record, so "[Begin Header]" always starts a line.
    m_needsLineBreak = false;
    const qint64 size = file->size();
    if (size > 0 && file->seek(size - 1))
        m_needsLineBreak = file->read(1) != "\n";
    m_file = std::move(file);
    return true;
}

void MailLog::write(const QString& headerText)
{
    if (!m_file)
        return;
    const QByteArray bytes = (m_needsLineBreak ? kCrLf : QByteArray()) + record(headerText);
    const qint64 before = m_file->size();
    const qint64 written = m_file->write(bytes);
    if (written == bytes.size()) {
        m_needsLineBreak = false;
        return;
    }
    // Disk full or a similar failure: take the partial record back off the file.
    if (written > 0)
        m_file->resize(before);
}

void MailLog::close()
{
    if (m_file) {
        m_file->close();
        m_file.reset();
    }
}

} // namespace ormisk
