// Runs this whole test program from a copy in a sandbox folder of its own. The setup
// code under test writes its template files next to the running program, and the
// build folder must never receive them.
#include "SandboxCopy.h"

namespace {

struct RunFromSandboxCopy {
    RunFromSandboxCopy() {
        if (tvxtest::RunningInSandboxCopy()) return;
        DWORD exitCode = 1;
        {
            tvxtest::SandboxCopy copy;
            exitCode = copy.RunWholeProgram();
        }
        ExitProcess(exitCode);
    }
};
RunFromSandboxCopy runFromSandboxCopy;

}  // namespace
