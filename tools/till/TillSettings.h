#pragma once

// The settings files a till keeps next to the plug-in, in its working directory:
// ZoVORDA.ini (the plug-in's own: CRM address, company, sign-in password, local
// member database), RVX_Config.ini (the till's device code) and config.ini (the
// database type). The plug-in reads them at its first call, so they are written
// before that.

#include <QString>

namespace TillSettings {

// The demo company and device, as the CRM knows them.
inline const QString kCompanyId = QStringLiteral("C001");
inline const QString kSigninPassword = QStringLiteral("pw0101");
inline const QString kPointCode = QStringLiteral("POS01");

// fresh: start from empty files, so the first member call signs the till in.
// Otherwise only these keys are set and a sign-in of earlier today is kept.
// companion: the program the plug-in keeps running (none when empty).
void write(const QString& crmUrl, const QString& membersDb, int timeOutSeconds, bool fresh,
           const QString& companion = QString());

// Points the plug-in at another CRM address from its next call on.
void setCrmAddress(const QString& crmUrl);

} // namespace TillSettings
