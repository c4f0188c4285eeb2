#include "app/Application.h"

#include "app/CoreDumps.h"
#include "app/MainWindow.h"
#include "app/OnceMode.h"
#include "app/SignalBridge.h"
#include "demo/DemoMailbox.h"
#include "dialogs/DialogService.h"
#include "store/AppState.h"
#include "store/Keyring.h"
#include "store/PrivateFiles.h"
#include "store/Profile.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLockFile>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>

// Resources of a static library must be registered by hand, outside any namespace.
static void initResources() { Q_INIT_RESOURCE(ormisk); }

namespace ormisk {

namespace {

struct CommandLine {
    QString profileDir;
    bool once = false;
    bool demo = false;
};

CommandLine parseCommandLine(QApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Ormisk watches POP3 mailboxes and tells you about new mail."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profile(QStringLiteral("profile"),
        QStringLiteral("Keep the settings, the seen list, the logs and the instance lock in <dir> "
                       "(default: ORMISK_PROFILE, else the user's own folders)."),
        QStringLiteral("dir"));
    parser.addOption(profile);
    const QCommandLineOption once(
        QStringLiteral("once"), QStringLiteral("Check every account once without a window, print the tree and exit."));
    parser.addOption(once);
    const QCommandLineOption demo(QStringLiteral("demo"),
        QStringLiteral("Start a built-in demo mailbox server and run on a fresh demo profile."));
    parser.addOption(demo);
    parser.process(app);
    CommandLine options;
    options.profileDir = parser.value(profile);
    options.once = parser.isSet(once);
    options.demo = parser.isSet(demo);
    return options;
}

} // namespace

int runApplication(int argc, char** argv)
{
    // Before anything reads a password.
    DisableCoreDumps();
    // `--once` shows no window, so it must also work where no display exists (cron, ssh).
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--once") == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    initResources();
    // Installed first, so a signal that arrives during start-up is kept until the event loop runs.
    SignalBridge signalBridge;
    QApplication::setApplicationName(QStringLiteral("Ormisk"));
    QApplication::setOrganizationName(QStringLiteral("Ormisk"));
    QApplication::setApplicationVersion(QStringLiteral(ORMISK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("ormisk"));
    // The window may live in the tray with nothing on screen; only the main window's close ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    const CommandLine options = parseCommandLine(app);
    DemoMailbox demo;
    QString profileDir = options.profileDir;
    if (options.demo) {
        QString error;
        if (!demo.start(&error)) {
            std::fprintf(stderr, "Ormisk: the demo could not start: %s\n", qPrintable(error));
            return 1;
        }
        profileDir = demo.profileDir();
        std::fprintf(stderr, "Ormisk demo: mailbox server on 127.0.0.1:%u, profile %s\n", unsigned(demo.port()),
            qPrintable(profileDir));
    }
    const Profile profile = Profile::resolve(profileDir);
    profile.ensureFolders();

    QLockFile lock(profile.lockFile);
    lock.setStaleLockTime(0); // a lock whose process is gone is stale whatever its age
    if (!lock.tryLock(0)) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ormisk"),
            QStringLiteral("Ormisk is already running in the tray!"), QMessageBox::Ok);
        if (!options.once && QGuiApplication::platformName() != QStringLiteral("offscreen"))
            box.exec();
        std::fprintf(stderr, "Ormisk is already running in the tray!\n");
        return 1;
    }
    QFile::setPermissions(profile.lockFile, kOwnerOnlyFile);
    if (options.once)
        return runOnce(profile);

    AppState state;
    SettingsStore store(profile.settingsFile);
    QtDialogService dialogs;
    MainWindow window(state, store, profile, dialogs);
    const Keyring keyring(Keyring::serviceFor(profile));
    window.setKeyring(&keyring);

    bool finished = false;
    QObject::connect(&window, &MainWindow::closed, &app, [&] {
        finished = true;
        QApplication::quit();
    });

    // A signal or the end of the desktop session closes the window like the close box. An open
    // dialog is cancelled first, so the command that opened it finishes before the shutdown saves
    // anything; while a check holds the connection the close is refused. Either way it is tried
    // again until it succeeds.
    const auto tryClose = [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->close();
            return false;
        }
        return window.requestClose();
    };
    const auto closeSoon = [&] {
        auto* retry = new QTimer(&app);
        retry->setInterval(200);
        QObject::connect(retry, &QTimer::timeout, &app, [&, retry] {
            if (finished || tryClose())
                retry->deleteLater();
        });
        if (!tryClose())
            retry->start();
        else
            retry->deleteLater();
    };
    QObject::connect(&signalBridge, &SignalBridge::terminationRequested, &app, closeSoon);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&](QSessionManager&) { closeSoon(); });

    window.startUp();
    const int status = QApplication::exec();
    store.sync();
    return status;
}

} // namespace ormisk
