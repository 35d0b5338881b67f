#pragma once
class Findings;

// The member database the offline lookup reads while the CRM is down, opened through
// the plug-in's own database layer: whether it opens, whether t_member is there with
// the columns the lookup reads and active rows, and whether each lookup has its index.
// A SQLite member file that is missing is reported, not created.
namespace DatabaseCheck {

void check(Findings& findings);

} // namespace DatabaseCheck
