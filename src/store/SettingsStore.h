#pragma once
// The per-user settings store: text values by section and key, read with a default. Values come
// back exactly as written, whatever characters they hold. The file is readable by its owner only,
// since it holds (scrambled) passwords.
#include <QString>

#include <memory>

class QSettings;

namespace ormisk {

namespace Section {
inline const QString Config = QStringLiteral("Config");
inline const QString Accounts = QStringLiteral("Accounts");
inline const QString Filters = QStringLiteral("Filters");
inline const QString Actions = QStringLiteral("Actions");
} // namespace Section

class SettingsStore {
public:
    explicit SettingsStore(const QString& fileName);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    [[nodiscard]] QString read(const QString& section, const QString& key, const QString& defaultValue = {}) const;
    [[nodiscard]] bool contains(const QString& section, const QString& key) const;
    void write(const QString& section, const QString& key, const QString& value);
    // Writes pending changes to disk (atomically replaced) and keeps the file owner-only.
    bool sync();

    [[nodiscard]] QString fileName() const { return m_fileName; }

    // Conversions of stored text, each falling back to `fallback` when the text does not convert.
    // Booleans: "True"/"False" in any case, or a decimal number (0 false, anything else true).
    static bool toBool(const QString& text, bool fallback);
    static qint16 toInt16(const QString& text, qint16 fallback);
    static qint32 toInt32(const QString& text, qint32 fallback);
    // Counts: 16-bit, never negative (a negative or unreadable count reads as 0).
    static qint16 toCount(const QString& text);
    static QString fromBool(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

    // Convenience reads with a default text converted the same way.
    [[nodiscard]] bool readBool(const QString& section, const QString& key, const QString& defaultText) const;
    [[nodiscard]] qint32 readInt32(const QString& section, const QString& key, const QString& defaultText) const;

private:
    void createOwnerOnly() const;
    void restrictPermissions() const;
    QString m_fileName;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace ormisk
