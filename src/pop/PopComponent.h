#pragma once
// The contract every POP conversation of the program is written against. A request returns at
// once with busy() already true; its outcome arrives later as state changes and events, and every
// event of a request has fired before busy() turns false. changed() fires after every change of
// busy, the states and after each event, so waits can sleep in a nested event loop.
#include "pop/DocOutput.h"

#include <QObject>

namespace ormisk {

class PopComponent : public QObject {
    Q_OBJECT
public:
    enum ConnectionState : qint16 { Connected = 4, Closed = 6 };
    enum ProtocolState : qint16 { NotConnected = 0, Authorization = 1, Transaction = 2 };

    using QObject::QObject;
    ~PopComponent() override = default;

    virtual void setRemoteHost(const QString& host) = 0;
    virtual void setRemotePort(qint32 port) = 0;
    virtual void setUserId(const QString& user) = 0;
    virtual void setPassword(const QString& password) = 0;

    [[nodiscard]] virtual bool busy() const = 0;
    [[nodiscard]] virtual qint16 connectionState() const = 0;
    [[nodiscard]] virtual qint16 protocolState() const = 0;
    [[nodiscard]] virtual qint16 messageCount() const = 0;

    virtual void connectToServer() = 0; // ends in (1, 4) or (0, 6)
    virtual void authenticate() = 0; // ends in (2, 4) or (0, 6)
    virtual void requestMessageSize(qint16 number) = 0;
    virtual void retrieveHeader(qint16 number) = 0;
    virtual void deleteMessage(qint16 number) = 0;
    virtual void cancel() = 0;
    virtual void quit() = 0;

    [[nodiscard]] bool isClosed() const { return protocolState() == NotConnected && connectionState() == Closed; }

signals:
    void messageSize(qint32 size);
    void docOutput(const ormisk::DocOutput& doc);
    void deleteConfirmed(); // the contract's Delete event
    void changed();
};

} // namespace ormisk
