#pragma once
// A ShellHost that remembers what the engine asked of the window, with the top-level menus as the
// engine's conversation leaves them at the time.
#include "engine/AccountCheck.h"
#include "engine/ShellHost.h"
#include "store/MenuState.h"

#include <QStringList>

#include <functional>

namespace ormisk::test {

class RecordingHost : public NullShellHost {
public:
    // `engine` may be a member not constructed yet: it is only asked once menus are applied.
    explicit RecordingHost(const MailEngine* engine = nullptr)
        : m_engine(engine)
    {
    }

    void applyMenus() override
    {
        const MenuState m = MonitoringMenus({ .inConversation = m_engine && m_engine->inConversation() });
        events << QStringLiteral("menus %1%2%3%4")
                      .arg(int(m.mnuMonitoring.enabled))
                      .arg(int(m.mnuAccounts.enabled))
                      .arg(int(m.mnuMessages.enabled))
                      .arg(int(m.mnuHelp.enabled));
    }
    void setBusyPointer(bool busy) override { events << (busy ? QStringLiteral("busy") : QStringLiteral("normal")); }
    void setCaption(const QString& text) override
    {
        NullShellHost::setCaption(text);
        captions << text;
    }
    void setTrayPicture(int picture) override
    {
        NullShellHost::setTrayPicture(picture);
        trayPictures << picture;
    }
    [[nodiscard]] bool isMinimized() const override { return minimized; }
    [[nodiscard]] bool isHiddenInTray() const override { return hiddenInTray; }
    void restoreWindow() override { events << QStringLiteral("restore"); }
    void showTimeLeft(const QString& text) override
    {
        NullShellHost::showTimeLeft(text);
        timeTexts << text;
    }
    void openNewMailWindow(qint32) override { events << QStringLiteral("open new mail"); }
    void updateNewMailWindow(bool giveFocus, qint32) override
    {
        events << (giveFocus ? QStringLiteral("update new mail focus") : QStringLiteral("update new mail"));
    }
    QCoro::Task<> playMessage(SoundRequest request) override
    {
        played << request.file;
        if (whilePlaying)
            whilePlaying();
        co_return;
    }

    bool minimized = false;
    bool hiddenInTray = false;
    QStringList events;
    QStringList captions;
    QList<int> trayPictures;
    QStringList timeTexts;
    QStringList played; // the file of each playMessage()
    // What the user does while playMessage() waits for the device (window events run meanwhile).
    std::function<void()> whilePlaying;

private:
    const MailEngine* m_engine;
};

} // namespace ormisk::test
