#pragma once
// One account check the way the program runs it (MailEngine::CheckAccount over an in-memory tree
// and a silent window), with everything the POP client reported written down in order. Used by
// tests that compare ways of fetching and by the latency benchmark.
#include "pop/PopComponent.h"

#include <QString>
#include <QStringList>

namespace ormisk::testing {

struct CheckOutcome {
    QString accountText;
    QStringList messageTexts; // node texts, in tree order
    QStringList headerTags; // node tags (the header texts)
    QStringList events; // the client's busy flag, states and events (see PopRecorder)
    bool eventWhileIdle = false;
};

// Runs one check of host:port as user. The account is titled "Box"; the mail log is off; a
// positive `checkTimeLimit` replaces the option's seconds.
CheckOutcome runCheck(PopComponent& pop, const QString& host, quint16 port, const QString& user,
    const QString& password, qint32 checkTimeLimit = 0);

} // namespace ormisk::testing
