#pragma once
#include <QCoreApplication>
#include <QString>

// The daily operation log: LOG/PayLogyyyyMMdd.txt under the directory the process
// was in when the logger was built. Writing never fails towards the caller.
class PayLogger {
    Q_DECLARE_TR_FUNCTIONS(PayLogger)
public:
    PayLogger();

    void WriteLog(const QString& source, const QString& step, const QString& text);

    QString logDir;
};
