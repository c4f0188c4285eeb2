#pragma once
// One conversation of the scripted POP3 server: reads commands, answers them from the server's
// mailboxes, and misbehaves where the server's script says so.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class QSslSocket;

namespace ormisk::testing {

class ScriptedPopServer;

// Not a Q_OBJECT: it only connects lambdas.
class ScriptedPopSession : public QObject {
public:
    ScriptedPopSession(ScriptedPopServer* server, QSslSocket* socket);
    void greet();

private:
    enum class State { Authorization, Transaction, Closing };
    void write(const QByteArray& bytes);
    void peerGone();
    void finish();
    void hangUp();
    void onReadyRead();
    void processInput();
    void handle(const QByteArray& line);
    void sendReply(const QByteArray& verb, const QByteArray& reply);

    // The well-behaved answer; state changes happen here (a fault may undo them).
    QByteArray answer(const QByteArray& verb, const QList<QByteArray>& words);
    QByteArray answerAuthorization(const QByteArray& verb, const QList<QByteArray>& words);
    QList<QByteArray>& mailbox();
    int messageNumber(const QByteArray& word);
    QByteArray answerTransaction(const QByteArray& verb, const QList<QByteArray>& words);
    void commitDeletions();

    // An endless line is fed in pieces as the client reads, so the server holds no more than a
    // chunk; it stops when the client goes away, or after a bound no sane client would reach.
    void startEndless();
    void feedEndless();
    void clearInput();

    ScriptedPopServer* m_server;
    QPointer<QSslSocket> m_socket;
    QByteArray m_input;
    bool m_inputCleared = false;
    State m_state = State::Authorization;
    QString m_user;
    QSet<int> m_deleted;
    bool m_paused = false;
    bool m_delayPending = false;
    bool m_peerGone = false;
    bool m_finished = false;
    bool m_endless = false;
    qint64 m_endlessSent = 0;
};

} // namespace ormisk::testing
