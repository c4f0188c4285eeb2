#pragma once
// The About box: name, icon, version, the platform this build runs on and what the program does.
#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class About;
}

namespace ormisk {

struct AppState;

// "Version 2.0": major and minor of the build's version.
[[nodiscard]] QString VersionLine();
// The word size of this build and the system it runs on, e.g. "64 bit for Linux".
[[nodiscard]] QString PlatformLine();

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // Keeps the tree's selection rule off (SelectionResetAllowed) while the box is open.
    explicit AboutDialog(AppState& state, QWidget* parent = nullptr);
    ~AboutDialog() override;

    void done(int result) override;

private:
    std::unique_ptr<Ui::About> ui;
    AppState& m_state;
    bool m_closed = false;
};

} // namespace ormisk
