#pragma once
// One setup or uninstall at a time: a second one started while the first runs would
// write what the first is deleting, or the other way round.

#include <windows.h>

namespace tvx {

// Claims the run for this process until it exits. False when another setup or
// uninstall holds it: the run is then reported as busy and must change nothing.
bool ClaimSingleRun();
// Tells the user of a run that found another in progress: brings the running
// program's window to the front, or says that a run is in progress (caption by its
// text id). A silent run tells nobody.
void TellRunInProgress(UINT captionId);

// Seam for the unit tests: creating a name in the machine-wide namespace is refused
// with access denied, as for an account without the privilege to create global
// objects. Wine grants it to everybody. The program never calls it.
void RefuseGlobalNames(bool refuse);
// Lets go of the claim; for the tests, which claim many times in one process.
void ReleaseSingleRun();

}  // namespace tvx
