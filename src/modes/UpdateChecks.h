// What an update run checks around the procedure that sends the images:
// before the first image, whether the unit needs them at all; after the
// reboot, whether the unit runs what was sent.
#ifndef UPDATE_CHECKS_H
#define UPDATE_CHECKS_H

#include "CommandLine.h"
#include "UnitVersions.h"
#include "UpdateProcedure.h"

// With --if-needed (and on --all) a current unit is left alone unless
// --allow-reinstall, and a newer one unless --allow-older; a unit left
// alone gets a console line that says why. Every other run updates.
UpdateDecision decideUpdate(const CommandLine &line, const UnitVersions &unit, bool isTx);

// After the prompt: asks for the versions and the identification again at
// the unit's rate, shows them on the line "Checking the versions after the
// update" with OK or FAILED, and, on a mismatch, both sets of versions.
// True when the unit is the same type and runs the carried versions.
bool verifyVersionsAfterUpdate(bool isTx);

// The checks the command line asks for, as the update procedure takes them:
// none for the plain run.
UpdatePolicy updatePolicyFor(const CommandLine &line);

#endif
