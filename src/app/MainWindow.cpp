#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/NewMailWindow.h"
#include "app/SettingsCommands.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/NewMailNotice.h"
#include "desktop/WakeWatcher.h"
#include "dialogs/DialogService.h"
#include "engine/AccountCheck.h"
#include "engine/DeleteMessage.h"
#include "engine/PollScheduler.h"
#include "engine/SeenListFile.h"
#include "engine/SeenLists.h"
#include "engine/SoundRoutine.h"
#include "engine/TreeOps.h"
#include "pop/PopClient.h"
#include "sound/PulseSoundPlayer.h"
#include "store/AppState.h"
#include "store/KeyringPasswords.h"
#include "store/Options.h"
#include "store/SettingsStore.h"
#include "store/WindowGeometry.h"
#include "tray/TrayIcon.h"
#include "tree/AccountController.h"
#include "tree/AccountTree.h"
#include "tree/MessagePropertiesDialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTime>
#include <QUrl>

namespace ormisk {

MainWindow::MainWindow(AppState& state, SettingsStore& store, const Profile& profile, DialogService& dialogs,
    Clock& clock, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_store(store)
    , m_profile(profile)
    , m_dialogs(dialogs)
{
    m_state.store = &m_store;
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Ormisk"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/ormisk.svg")));
    resize(760, 480);

    m_tree = new AccountTree(this);
    setCentralWidget(m_tree);

    m_timeLeft = new QLineEdit(m_tree);
    m_timeLeft->setObjectName(QStringLiteral("txtTimeLeft"));
    m_timeLeft->setToolTip(QStringLiteral("Min:Sec left to check email"));
    m_timeLeft->setReadOnly(true);
    m_timeLeft->setFocusPolicy(Qt::NoFocus);
    m_timeLeft->setAlignment(Qt::AlignCenter);
    // Wide enough for "00:00" inside the frame and margins of any style.
    m_timeLeft->setFixedWidth(m_timeLeft->fontMetrics().horizontalAdvance(QStringLiteral("00:00")) + 24);

    m_pop = std::make_unique<PopClient>();
    m_engine = std::make_unique<MailEngine>(m_state, *m_tree, *m_pop, *this);
    m_scheduler = std::make_unique<PollScheduler>(*m_engine, clock);
    m_accounts = std::make_unique<AccountController>(*m_engine, *m_scheduler, m_store, m_dialogs, this);
    m_settings = std::make_unique<SettingsCommands>(m_state, m_store, m_dialogs,
        SettingsCommands::Window { this, *m_accounts,
            [this](const SoundRequest& request) { (void)playMessage(request); },
            [this] {
                m_scheduler->ApplyPollPeriod();
                setTrayIconShown(m_state.options.RunInTray);
            } });
    m_player = std::make_unique<PulseSoundPlayer>();
    m_sound = std::make_unique<SoundRoutine>(m_state, *m_player, [this] { m_dialogs.beep(); });
    m_tray = std::make_unique<TrayIcon>();
    connect(m_tray.get(), &TrayIcon::restoreRequested, this, [this] { bringBack(); });
    connect(m_tray.get(), &TrayIcon::trayUnavailable, this, [this] { keepReachable(); });
    connect(m_tray.get(), &TrayIcon::menuRequested, this, [this] {
        if (MonitoringMenus(m_scheduler->monitoring()).mnuMonitoring.enabled)
            m_menus.mnuMonitoring->popup(QCursor::pos());
    });

    m_wake = std::make_unique<WakeWatcher>(QDBusConnection::systemBus());
    m_wake->watchNetwork();
    m_wakeCheck.setSingleShot(true);
    m_wakeCheck.setInterval(3000);
    connect(m_wake.get(), &WakeWatcher::checkWanted, this, [this] { m_wakeCheck.start(); });
    connect(&m_wakeCheck, &QTimer::timeout, this, [this] { checkAfterWake(); });

    m_menus.build(menuBar());
    m_tree->setEmptyHint(QStringLiteral("No mailbox is watched yet. Choose %1 \u2192 %2 to add one.")
                             .arg(m_menus.mnuAccounts->title().remove(QLatin1Char('&')),
                                 m_menus.mnuNewAccount->text().remove(QLatin1Char('&'))));
    wireMenus();
    wireTree();
    applyMenus();
}

MainWindow::~MainWindow() = default;

void MainWindow::startUp()
{
    m_state.random.seed(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
    m_startingUp = true;
    m_state.accounts.load(m_store, m_state.random);
    RebuildTree(m_state, *m_tree, QStringLiteral(" --- Unchecked."));
    m_state.SeenHeaders.clear();
    m_state.ReadHeaders.clear();
    m_restoreMaximized = false;
    restoreGeometryFromStore();
    show();
    m_startingUp = false;
    applyMenus();
    hideSelection();
    m_state.options = LoadOptions(m_store, m_profile.defaultLogFolder());
    m_state.filters.load(m_store);
    m_state.wavActions.load(m_store);
    m_pop->setCaFile(m_state.options.CAFile);
    m_pop->setCacheFile(m_profile.dataDir + QStringLiteral("/header-cache"));
    setTrayIconShown(m_state.options.RunInTray);
    m_state.SeenHeaders = ReadSeenListFile(m_profile.seenListFile());
    onResize();
    (void)settlePasswordsThenStart();
}

void MainWindow::setKeyring(const Keyring* keyring)
{
    m_keyring = keyring;
    m_accounts->setKeyring(keyring);
}

QCoro::Task<> MainWindow::settlePasswordsThenStart()
{
    // No check may start before the passwords kept in the keyring are known. (No co_await inside
    // a && or ||: GCC 12 does not short-circuit around it.)
    bool reachable = true;
    if (m_keyring)
        reachable = co_await SettlePasswords(m_state.accounts, m_store, *m_keyring, m_state.options.PasswordsInKeyring);
    if (!reachable && TakeFilePasswordsNotice(m_store)) {
        // Told without stopping anything: the window (or the tray) goes on as usual.
        auto* notice = new QMessageBox(QMessageBox::Information, QStringLiteral("Ormisk"),
            FilePasswordsNotice(m_store.fileName()), QMessageBox::Ok, this);
        notice->setAttribute(Qt::WA_DeleteOnClose);
        notice->setModal(false);
        notice->show();
    }
    m_scheduler->start();
}

bool MainWindow::requestClose() { return close(); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_pop->isClosed() || m_engine->inConversation()) {
        // Never while a server conversation is open: it is asked to end, and the user (or the
        // signal handler's retry) closes again once it has.
        m_dialogs.beep();
        m_scheduler->stopCycle();
        if (m_pop->busy())
            m_pop->cancel();
        else if (m_pop->connectionState() != PopComponent::Closed)
            m_pop->quit();
        event->ignore();
        SaveWindowGeometry();
        return;
    }
    SaveWindowGeometry();
    SnapshotRead(m_state, *m_tree);
    if (!WriteSeenListFile(m_profile.seenListFile(), m_state.SeenHeaders))
        qWarning("Ormisk: the seen-list file could not be written; the previous one is kept.");
    m_scheduler->PoolingEvent().stop();
    closeNewMailWindow();
    // Leaving: the window must not come back just because its icon goes.
    m_tray->setInTray(false);
    event->accept();
    emit closed();
}

void MainWindow::whenEnabled(QAction* action, const std::function<void()>& command)
{
    // A conversation disables every top-level menu, and with it every entry.
    connect(action, &QAction::triggered, this, [this, action, command] {
        if (action->isEnabled() && !m_engine->inConversation())
            command();
    });
}

void MainWindow::runDialogCommand(const std::function<void()>& command)
{
    {
        DialogPause pause(*m_scheduler);
        command();
    }
    hideSelection();
}

void MainWindow::wireMenus()
{
    whenEnabled(m_menus.mnuUpdateNow, [this] { (void)m_scheduler->CheckNow(); });
    whenEnabled(m_menus.mnuSuspend, [this] { m_scheduler->Suspend(); });
    whenEnabled(m_menus.mnuResume, [this] { m_scheduler->Resume(); });
    whenEnabled(m_menus.mnuOptions, [this] { openOptions(); });
    whenEnabled(m_menus.mnuExit, [this] { close(); });

    whenEnabled(m_menus.mnuNewAccount, [this] { (void)m_accounts->addAccount(); });
    whenEnabled(m_menus.mnuModifyAccount, [this] { (void)m_accounts->modifyAccount(); });
    whenEnabled(m_menus.mnuDeleteAccount, [this] { m_accounts->deleteAccount(); });

    whenEnabled(m_menus.mnuDeleteMessage, [this] { (void)DeleteMessage(*m_engine, *m_scheduler); });
    whenEnabled(m_menus.mnuProperties, [this] { openProperties(); });
    whenEnabled(m_menus.mnuFilter, [this] { runDialogCommand([this] { m_settings->editFilters(); }); });
    whenEnabled(m_menus.mnuLogFile, [this] { runDialogCommand([this] { m_settings->editLogSettings(); }); });

    whenEnabled(m_menus.mnuHelpContents, [this] { showHelp(helpFile(QCoreApplication::applicationDirPath())); });
    whenEnabled(m_menus.mnuAbout, [this] { showAbout(); });
}

void MainWindow::openOptions()
{
    runDialogCommand([this] {
        // From the tray menu the window may be minimized or hidden: the dialog is its child, and
        // taking the window out of the tray must leave it on the screen.
        if (QMainWindow::isMinimized() || isHiddenInTray())
            restoreWindow();
        m_settings->editOptions();
    });
}

void MainWindow::openProperties()
{
    const CheckedMessage* message = m_engine->message(m_tree->selected());
    const QString header = message ? message->header : QString();
    DialogPause pause(*m_scheduler);
    MessagePropertiesDialog dialog(header, this);
    dialog.exec();
}

void MainWindow::onNodePressed(const QString& key, bool rightButton, const QPoint& at)
{
    switch (m_accounts->nodePressed(key, rightButton)) {
    case PopupMenu::Monitoring:
        m_menus.mnuMonitoring->popup(at);
        break;
    case PopupMenu::Accounts:
        m_menus.mnuAccounts->popup(at);
        break;
    case PopupMenu::Messages:
        m_menus.mnuMessages->popup(at);
        break;
    case PopupMenu::None:
        break;
    }
}

void MainWindow::wireTree()
{
    connect(
        m_tree, &AccountTree::nodePressed, this, [this](const QString& key, Qt::MouseButton button, const QPoint& at) {
            onNodePressed(key, button == Qt::RightButton, at);
        });
    // The context-menu key acts like a right click on the selected node.
    connect(m_tree, &AccountTree::contextKeyPressed, this,
        [this](const QString& key, const QPoint& at) { onNodePressed(key, true, at); });
    connect(
        m_tree, &AccountTree::nodeExpandedByUser, this, [this](const QString& key) { m_accounts->nodeExpanded(key); });
    connect(m_tree, &AccountTree::treeClicked, this, [this] { m_accounts->treeClicked(); });
    connect(m_tree, &AccountTree::treeDoubleClicked, this, [this] { m_accounts->treeDoubleClicked(); });
    connect(m_tree, &AccountTree::nodeSelectedByKeyboard, this,
        [this](const QString& key) { m_accounts->nodeSelectedByKeyboard(key); });
}

void MainWindow::hideSelection() { m_accounts->hideSelection(); }

QString MainWindow::helpFile(const QString& appDir)
{
    // Beside the binary in a build tree, else where `cmake --install` put it.
    for (const QString& candidate :
        { appDir + QStringLiteral("/help/index.html"), appDir + QStringLiteral("/../share/ormisk/help/index.html") }) {
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).canonicalFilePath();
    }
    return appDir + QStringLiteral("/help/index.html");
}

void MainWindow::showHelp(const QString& file)
{
    QString failure;
    if (!QFileInfo::exists(file))
        failure = QStringLiteral("The user guide was not found. It belongs at:\n%1").arg(file);
    else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        failure = QStringLiteral("The desktop could not open the user guide: QDesktopServices::openUrl found no "
                                 "program for it (most desktops use xdg-open, from xdg-utils).\n\nThe guide is "
                                 "at:\n%1")
                      .arg(file);
    if (!failure.isEmpty())
        m_dialogs.message(this, QMessageBox::Critical, QStringLiteral("Ormisk Help"), failure);
}

void MainWindow::showAbout()
{
    runDialogCommand([this] {
        const AccountController::SelectionHold hold = m_accounts->holdSelection();
        AboutDialog dialog(this);
        dialog.exec();
    });
}

void MainWindow::applyMenus() { m_menus.apply(ShownMenus(m_scheduler->monitoring(), m_accounts->selection())); }

void MainWindow::setBusyPointer(bool busy)
{
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void MainWindow::setCaption(const QString& caption) { setWindowTitle(caption); }

void MainWindow::setTrayPicture(int picture)
{
    m_tray->setPicture(picture);
    updateTrayTip();
}

void MainWindow::updateTrayTip()
{
    QStringList lines { QStringLiteral("Ormisk") };
    lines << QStringLiteral("%1 waiting, %2 new").arg(m_engine->waitingShown()).arg(m_mailCounts.newMail);
    if (m_scheduler->Suspended())
        lines << QStringLiteral("Monitoring suspended");
    else if (m_scheduler->PoolingEvent().isActive())
        lines << QStringLiteral("Next check at %1")
                     .arg(QLocale().toString(
                         QTime::currentTime().addSecs(m_scheduler->SecondsLeft()), QLocale::ShortFormat));
    const QString tip = lines.join(QLatin1Char('\n'));
    if (tip != m_tray->tip())
        m_tray->setTip(tip);
}

void MainWindow::checkAfterWake()
{
    // Only where the countdown itself could start a cycle.
    if (m_scheduler->Suspended() || m_scheduler->cycleRunning() || m_engine->inConversation()
        || m_state.AccountCount() == 0)
        return;
    (void)m_scheduler->PollCycle();
}

bool MainWindow::isMinimized() const { return QMainWindow::isMinimized(); }

bool MainWindow::isHiddenInTray() const { return !isVisible(); }

void MainWindow::restoreWindow()
{
    if (QMainWindow::isMinimized() || !isVisible()) {
        if (m_restoreMaximized)
            showMaximized();
        else
            showNormal();
    }
    raise();
    activateWindow();
}

void MainWindow::focusTree() { m_tree->setFocus(); }

void MainWindow::showTimeLeft(const QString& text)
{
    m_timeLeft->setText(text);
    updateTrayTip();
}

void MainWindow::openNewMailWindow(qint32 newMail)
{
    if (m_state.options.DesktopNotifications) {
        const NewMailNotice notice = ComposeNewMailNotice(m_state, *m_engine, newMail);
        notifier().show(notice.summary, notice.body);
        return;
    }
    openOwnNewMailWindow(newMail);
}

DesktopNotifier& MainWindow::notifier()
{
    if (!m_notifier) {
        m_notifier = std::make_unique<DesktopNotifier>(QDBusConnection::sessionBus());
        connect(m_notifier.get(), &DesktopNotifier::activated, this, [this] { bringBack(); });
        // No service took it: the own window, as long as there still is new mail to tell of.
        connect(m_notifier.get(), &DesktopNotifier::failed, this, [this] {
            if (m_mailCounts.newMail > 0 && m_state.options.AutoDialog)
                openOwnNewMailWindow(m_mailCounts.newMail);
        });
    }
    return *m_notifier;
}

void MainWindow::openOwnNewMailWindow(qint32 newMail)
{
    if (m_newMail)
        return;
    m_newMail = new NewMailWindow(m_state, newMail, this);
    connect(m_newMail, &NewMailWindow::viewMailRequested, this, [this] { bringBack(); });
    m_newMail->show();
}

void MainWindow::updateNewMailWindow(bool giveFocus, qint32 newMail)
{
    if (!m_newMail)
        return;
    if (giveFocus) {
        m_newMail->raise();
        m_newMail->activateWindow();
    }
    m_newMail->Update(newMail);
}

bool MainWindow::newMailWindowShown() const { return m_newMail && m_newMail->isShown(); }

void MainWindow::closeNewMailWindow()
{
    if (m_newMail)
        m_newMail->close();
    if (m_notifier)
        m_notifier->close();
}

QCoro::Task<> MainWindow::playMessage(SoundRequest request) { return m_sound->PlayMessage(std::move(request)); }

void MainWindow::setTrayIconShown(bool shown)
{
    m_tray->setInTray(shown);
    keepReachable();
}

void MainWindow::keepReachable()
{
    // A hidden window is reachable only through an icon in a tray; without one it comes back.
    if (isHiddenInTray() && !m_tray->canHideWindow())
        restoreWindow();
}

bool MainWindow::trayAvailable() const { return TrayIcon::available(); }

void MainWindow::bringBack()
{
    restoreWindow();
    hideSelection();
}

} // namespace ormisk
