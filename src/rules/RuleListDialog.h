#pragma once
// The list of message filters (form Filter) or of sound rules (form AdvWAV). List position p
// shows row p of the rules. Every add, modify and delete hands the whole list to the caller at
// once, which stores it; Exit only closes.
#include "rules/RuleEditDialog.h"

#include <QDialog>
#include <QList>

#include <functional>
#include <memory>

namespace Ui {
class RuleList;
}

namespace ormisk {

class DialogService;
class FilterTable;
class SettingsStore;
class WavActionTable;
struct RuleKind;

class RuleListDialog : public QDialog {
    Q_OBJECT
public:
    using Changed = std::function<void(const QList<WavAction>& rules)>;

    RuleListDialog(const RuleKind& kind, QList<WavAction> rules, Changed changed, RuleEditServices services,
        QWidget* parent = nullptr);
    ~RuleListDialog() override;

    // Modify and Delete need a current entry.
    void updateButtons();

private:
    void addRule();
    void modifyRule();
    void deleteRule();
    // The position of the list's current entry, or -1. An entry is current once the user has
    // picked it (clicked or moved to it); merely focusing the list picks nothing.
    [[nodiscard]] int currentPosition() const;
    [[nodiscard]] QString describe(const WavAction& rule) const;

    std::unique_ptr<Ui::RuleList> m_ui;
    const RuleKind& m_kind;
    QList<WavAction> m_rules;
    Changed m_changed;
    RuleEditServices m_services;
};

// The filter list over `filters`: each change is kept in the table and saved to `store` at once.
void EditFilters(FilterTable& filters, SettingsStore& store, DialogService& dialogs, QWidget* parent);
// The sound rule list over `actions`, the same way; "Test WAV" plays through `testSound`.
void EditWavActions(WavActionTable& actions, SettingsStore& store, DialogService& dialogs,
    std::function<void(const QString& file)> testSound, QWidget* parent);

} // namespace ormisk
