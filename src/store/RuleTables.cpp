#include "store/RuleTables.h"

#include "store/SettingsStore.h"

namespace ormisk {

namespace {

QString itemKey(const char* field, qsizetype item) { return QLatin1String(field) + QString::number(item); }

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");

qint16 readCount(const SettingsStore& store, const QString& section, const char* key)
{
    return SettingsStore::toCount(store.read(section, QLatin1String(key), QStringLiteral("0")));
}

void readRule(const SettingsStore& store, const QString& s, qsizetype item, FilterRule& rule)
{
    rule.SenderText = store.read(s, itemKey("SenderText", item));
    rule.SubjectText = store.read(s, itemKey("SubjectText", item));
    rule.SenderMatch = store.readBool(s, itemKey("SenderMatch", item), kTrue);
    rule.SubjectMatch = store.readBool(s, itemKey("SubjectMatch", item), kTrue);
    rule.AndMode = store.readBool(s, itemKey("AND", item), kTrue);
    rule.Disabled = store.readBool(s, itemKey("Disabled", item), kFalse);
}

void writeRule(SettingsStore& store, const QString& s, qsizetype item, const FilterRule& rule)
{
    store.write(s, itemKey("SenderText", item), rule.SenderText);
    store.write(s, itemKey("SubjectText", item), rule.SubjectText);
    store.write(s, itemKey("SenderMatch", item), SettingsStore::fromBool(rule.SenderMatch));
    store.write(s, itemKey("SubjectMatch", item), SettingsStore::fromBool(rule.SubjectMatch));
    store.write(s, itemKey("AND", item), SettingsStore::fromBool(rule.AndMode));
    store.write(s, itemKey("Disabled", item), SettingsStore::fromBool(rule.Disabled));
}

} // namespace

void FilterTable::load(const SettingsStore& store)
{
    const QString& s = Section::Filters;
    const qint16 count = readCount(store, s, "TotalFilters");
    m_autoPrompt = store.readBool(s, QStringLiteral("AutoPrompt"), kTrue);
    m_rows.clear();
    for (qsizetype item = 1; item <= count; ++item) {
        FilterRule rule;
        readRule(store, s, item, rule);
        m_rows.append(rule);
    }
}

void FilterTable::save(SettingsStore& store) const
{
    const QString& s = Section::Filters;
    store.write(s, QStringLiteral("TotalFilters"), QString::number(size()));
    store.write(s, QStringLiteral("AutoPrompt"), SettingsStore::fromBool(m_autoPrompt));
    for (qsizetype row = 0; row < size(); ++row)
        writeRule(store, s, row + 1, at(row));
    store.sync();
}

void WavActionTable::load(const SettingsStore& store)
{
    const QString& s = Section::Actions;
    const qint16 count = readCount(store, s, "TotalActions");
    m_rows.clear();
    for (qsizetype item = 1; item <= count; ++item) {
        WavAction action;
        readRule(store, s, item, action);
        action.WavFile = store.read(s, itemKey("WavFile", item));
        m_rows.append(action);
    }
}

void WavActionTable::save(SettingsStore& store) const
{
    const QString& s = Section::Actions;
    store.write(s, QStringLiteral("TotalActions"), QString::number(size()));
    for (qsizetype row = 0; row < size(); ++row) {
        writeRule(store, s, row + 1, at(row));
        store.write(s, itemKey("WavFile", row + 1), at(row).WavFile);
    }
    store.sync();
}

} // namespace ormisk
