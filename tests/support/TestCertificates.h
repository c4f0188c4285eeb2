#pragma once
// Certificates made with openssl at test time: a test CA, a server certificate it signed for
// localhost / 127.0.0.1 / ::1, and a second, unrelated CA that trusts nothing of ours.
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace ormisk::testing {

struct TestCertificates {
    QString caFile; // PEM of the test CA
    QString otherCaFile; // PEM of an unrelated CA
    QString serverCertFile;
    QString serverKeyFile;

    // Writes all files into dir; false (and *error) when openssl is missing or fails.
    bool create(const QString& dir, QString* error);

    [[nodiscard]] QSslCertificate serverCertificate() const;
    [[nodiscard]] QSslKey serverKey() const;
};

// Certificates are slow to make: one set per test program, made on first use. A failure to make
// them is reported as a test failure (tests only: defined with the test helpers).
const TestCertificates& sharedTestCertificates();

} // namespace ormisk::testing
