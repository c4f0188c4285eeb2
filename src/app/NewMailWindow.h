#pragma once
// The new-mail window (form NewMail): tells how many new messages arrived. Not modal: checks go
// on while it is open and refresh it through Update(). It deletes itself when closed.
#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class NewMail;
}

namespace ormisk {

struct AppState;

class NewMailWindow : public QWidget {
    Q_OBJECT
public:
    // Loading: fills in the message, sizes and centres the window.
    explicit NewMailWindow(AppState& state, qint32 newMail, QWidget* owner = nullptr);
    ~NewMailWindow() override;

    // A later check: show the new count, or close when nothing new is left.
    void Update(qint32 newMail);

    // Design sizes in twips (1/1440 inch), turned into pixels for this window's screen.
    static constexpr int kButtonWidthTwips = 1095;
    static constexpr int kLabelMarginTwips = 1335;
    static constexpr int kMinimumWidthTwips = 3615;
    [[nodiscard]] int twipsToPixels(int twips) const;

    // NewMailShown: true from loading until the window is closed (it is deleted a moment later).
    [[nodiscard]] bool isShown() const { return m_loaded; }

    // The unformatted message, kept from loading on.
    [[nodiscard]] QString notice() const { return m_notice; }

signals:
    // "View Mail": the main window brings itself back (and hides the selection).
    void viewMailRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormatNotice();
    void placeControls();

    std::unique_ptr<Ui::NewMail> m_ui;
    AppState& m_state;
    QString m_notice;
    qint32 m_newMail = 0;
    // Gives this window the focus once, shortly after it appeared (100 ms lets the window manager
    // map it first).
    QTimer Timer1;
    bool m_loaded = true;
};

} // namespace ormisk
