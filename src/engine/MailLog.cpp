#include "engine/MailLog.h"

#include "store/AppState.h"
#include "store/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ormisk {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");
// A file name component holds at most 255 bytes on common Linux file systems.
constexpr qsizetype kMaxNameBytes = 255;
const QString kSuffix = QStringLiteral(".doc");

} // namespace

MailLog::~MailLog() { close(); }

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
    if (!folder.isEmpty() && !MakePrivateFolders(folder))
        return false;
    // Neither the folder nor the file may be a symbolic link: a link planted in a shared log
    // folder would otherwise have sender-chosen text appended to any file the user owns. The
    // folder is opened once and the file looked up in it, so neither can be swapped in between.
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const QByteArray folderName = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    const int folderFd = ::open(folderName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return false;
    const QByteArray name = QFile::encodeName(fileName(state, title));
    // Non-blocking, so that a pipe nobody reads cannot hold the check; anything but a plain file
    // (a folder, a pipe, a device) is left alone.
    const int fd = ::openat(
        folderFd, name.constData(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600);
    ::close(folderFd);
    if (fd < 0)
        return false;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    auto file = std::make_unique<QFile>();
    if (!file->open(
            fd, QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
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
