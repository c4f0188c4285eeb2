#include "store/SettingsStore.h"

#include "store/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace ormisk {

namespace {

QString fullKey(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }

// QSettings quotes and escapes text values itself, so they come back exactly (the round-trip
// tests hold it to that). A hand-edited file may still hold an unquoted "a, b", which QSettings
// reads as a list: it is joined back rather than lost.
QVariant encode(const QString& value) { return QVariant(value); }

QString decode(const QVariant& stored)
{
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QLatin1Char(','));
    return stored.toString();
}

} // namespace

SettingsStore::SettingsStore(const QString& fileName)
    : m_fileName(fileName)
{
    MakePrivateFolders(QFileInfo(fileName).absolutePath());
    createOwnerOnly();
    restrictPermissions();
    m_settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() { sync(); }

QString SettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QVariant stored = m_settings->value(fullKey(section, key));
    if (!stored.isValid())
        return defaultValue;
    return decode(stored);
}

bool SettingsStore::contains(const QString& section, const QString& key) const
{
    return m_settings->contains(fullKey(section, key));
}

void SettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    m_settings->setValue(fullKey(section, key), encode(value));
}

bool SettingsStore::sync()
{
    // A file removed while the program runs would otherwise come back with the default
    // permissions (world-readable) until restricted below.
    createOwnerOnly();
    m_settings->sync();
    restrictPermissions();
    return m_settings->status() == QSettings::NoError;
}

void SettingsStore::createOwnerOnly() const
{
    // Created owner-only before anything is written into it: QSettings replaces the file
    // through a temporary that takes over the permissions of the file it replaces.
    if (QFileInfo::exists(m_fileName))
        return;
    QFile file(m_fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.setPermissions(kOwnerOnlyFile);
        file.close();
    }
}

void SettingsStore::restrictPermissions() const
{
    if (QFileInfo::exists(m_fileName))
        QFile::setPermissions(m_fileName, kOwnerOnlyFile);
}

bool SettingsStore::toBool(const QString& text, bool fallback)
{
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = t.toDouble(&ok);
    if (ok)
        return number != 0.0;
    return fallback;
}

qint16 SettingsStore::toInt16(const QString& text, qint16 fallback)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < -32768 || value > 32767)
        return fallback;
    return static_cast<qint16>(value);
}

qint32 SettingsStore::toInt32(const QString& text, qint32 fallback)
{
    bool ok = false;
    const qint32 value = text.trimmed().toInt(&ok);
    return ok ? value : fallback;
}

qint16 SettingsStore::toCount(const QString& text)
{
    const qint16 value = toInt16(text, 0);
    return value < 0 ? qint16(0) : value;
}

bool SettingsStore::readBool(const QString& section, const QString& key, const QString& defaultText) const
{
    return toBool(read(section, key, defaultText), toBool(defaultText, false));
}

qint32 SettingsStore::readInt32(const QString& section, const QString& key, const QString& defaultText) const
{
    return toInt32(read(section, key, defaultText), toInt32(defaultText, 0));
}

} // namespace ormisk
