#include "support/TestCertificates.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ormisk::testing {

const TestCertificates& sharedTestCertificates()
{
    static QTemporaryDir dir;
    static TestCertificates certs;
    static bool made = [] {
        QString error;
        const bool ok = certs.create(dir.path(), &error);
        if (!ok)
            qWarning("%s", qPrintable(error));
        return ok;
    }();
    EXPECT_TRUE(made);
    return certs;
}

} // namespace ormisk::testing
