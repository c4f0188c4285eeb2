#pragma once
// Shows the full header of a message as captured during the last check. The text may be edited
// (to copy parts of it, say), but nothing typed is kept.
#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class MsgInfo;
}

namespace ormisk {

class MessagePropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // `tag` is the header text of the selected message node; empty when none was captured.
    explicit MessagePropertiesDialog(const QString& tag, QWidget* parent = nullptr);
    ~MessagePropertiesDialog() override;

    [[nodiscard]] QString shownText() const;

private:
    std::unique_ptr<Ui::MsgInfo> m_ui;
};

} // namespace ormisk
