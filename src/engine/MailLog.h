#pragma once
// The mail log: one record per brand-new message header, appended to "Master.doc" or to one file
// per account in the log folder. The log must never hinder a check: a file that cannot be opened
// or written is skipped without a word.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

namespace ormisk {

struct AppState;

class MailLog {
public:
    MailLog() = default;
    MailLog(const MailLog&) = delete;
    MailLog& operator=(const MailLog&) = delete;
    ~MailLog();

    // The file name (without folder) an account's records go to: "Master.doc" when all accounts
    // share one log, otherwise the title made safe as a file name followed by ".doc".
    [[nodiscard]] static QString fileName(const AppState& state, const QString& title);
    // The title as a single file name component: "/", control characters and NUL become "_",
    // a title that is empty or only dots becomes underscores, an overlong title is cut.
    [[nodiscard]] static QString safeFileTitle(const QString& title);
    // "[Begin Header]" CR LF, the header text, "[End Header]" CR LF CR LF, as UTF-8.
    [[nodiscard]] static QByteArray record(const QString& headerText);

    // Opens the account's log for appending, creating the folder and the file (owner-only) when
    // missing. A symbolic link in place of the folder or the file is refused.
    // Returns false (and stays closed) when that is not possible.
    bool open(const AppState& state, const QString& title);
    // Appends one record with a single write; a short write is cut back off the file, so a
    // failure never leaves half a record in front of the next one.
    void write(const QString& headerText);
    void close();
    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }

private:
    std::unique_ptr<QFile> m_file;
    bool m_needsLineBreak = false;
};

} // namespace ormisk
