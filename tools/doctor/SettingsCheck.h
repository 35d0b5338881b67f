#pragma once
#include <QString>

class Findings;

// The till's settings files as the plug-in reads them: where the CRM is, who the
// till is, how long it waits, how it signs in and which program runs beside it.
namespace SettingsCheck {

// Every setting but the sign-in's results. True when address, company and device
// are set: without them an exchange ends before anything is sent.
bool check(Findings& findings);
// Whether and when the till signed in (token, shop_id, SigninTime).
void checkSignedIn(Findings& findings);
// A secret as the report shows it: its two ends and its length, enough to tell
// whether two tills hold the same token, too little to use it.
QString masked(const QString& secret);
// An address as the report shows it: a proxy's password in it is left out.
QString shownAddress(const QString& address);

} // namespace SettingsCheck
