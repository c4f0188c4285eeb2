#pragma once
// The message filter and sound rule tables: loaded at start-up, written whole by their editors.
// Row order is the order the editors show and the order rules are tried in.
#include "store/Records.h"
#include "store/TableRows.h"

namespace ormisk {

class SettingsStore;

class FilterTable : public TableRows<FilterRule> {
public:
    using TableRows::TableRows;

    // The prompt flag of the filter list: kept with the filters and written back unchanged.
    [[nodiscard]] bool autoPrompt() const { return m_autoPrompt; }
    void setAutoPrompt(bool on) { m_autoPrompt = on; }

    void load(const SettingsStore& store);
    // "TotalFilters", "AutoPrompt", then each filter's keys in field order.
    void save(SettingsStore& store) const;

private:
    bool m_autoPrompt = true;
};

class WavActionTable : public TableRows<WavAction> {
public:
    using TableRows::TableRows;

    void load(const SettingsStore& store);
    // "TotalActions", then each action's keys in field order, "WavFile" last.
    void save(SettingsStore& store) const;
};

} // namespace ormisk
