#pragma once
// Start-up helpers that the entry point calls around the setup road and the run.

#include <functional>

namespace tvx {

// Copies "tervix.ini" from the installer's folder after a completed setup dialog.
void CopyFromInstallerFolder();

// Runs the job. An error that nothing on the way handled (memory exhaustion) ends it
// here, logged and reported as the run's outcome with its own code, instead of through
// the runtime's abort, which may show a box that nobody at an unattended run answers.
void RunCatchingExit(const std::function<void()>& job);

}  // namespace tvx
