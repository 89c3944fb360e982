#pragma once
// The account this program runs as.

#include <string>

namespace tvx {

// The SID of the account, in text form; empty when it cannot be read.
std::wstring CurrentAccountSid();
// The system's own account, as deployment tools and Windows Installer's custom actions
// run programs: its profile belongs to no person.
bool IsLocalSystemSid(const std::wstring& sid);
// Asked once per run.
bool RunsAsLocalSystem();

// Seam for the unit tests: RunsAsLocalSystem answers yes, as for a run that a deployment
// tool started as SYSTEM; Wine runs every program as one administrator. False ends it.
// The program never calls it.
void TreatAsLocalSystem(bool yes);

}  // namespace tvx
