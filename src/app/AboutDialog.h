#pragma once
// The About box: name, icon, version, the platform this build runs on and what the program does.
#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class About;
}

namespace ormisk {

// "Version 2.0": major and minor of the build's version.
[[nodiscard]] QString VersionLine();
// The word size of this build and the system it runs on, e.g. "64 bit for Linux".
[[nodiscard]] QString PlatformLine();

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    std::unique_ptr<Ui::About> m_ui;
};

} // namespace ormisk
