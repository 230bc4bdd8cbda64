// The update of a connected unit: its versions and identification, the
// programmable-logic image and then the MCU image, each announced and
// streamed, the reboot wait and the prompt that confirms it.
#ifndef UPDATE_PROCEDURE_H
#define UPDATE_PROCEDURE_H

#include <functional>

#include "UnitVersions.h"

// One step of the reboot wait; 46 steps make the wait. Test builds shorten it.
#ifndef REBOOT_WAIT_STEP_MS
#define REBOOT_WAIT_STEP_MS 3000
#endif
#define REBOOT_WAIT_STEPS 46

enum class UpdateDecision {
    Update,
    LeaveCurrent,  // the unit already runs the carried versions
    LeaveNewer,    // the unit runs newer versions than the carried ones
};

// What a run checks around the images. Without either the update is the
// plain one, line for line.
struct UpdatePolicy {
    // After the product check: whether the images go to this unit at all.
    std::function<UpdateDecision(const UnitVersions &unit, bool isTx)> beforeImages;
    // After the prompt, before the success line: whether the unit runs what
    // it was sent.
    std::function<bool(bool isTx)> afterPrompt;
};

enum class UpdateOutcome {
    Failed,        // a step failed and said so; the images may be half sent
    LeftCurrent,   // nothing sent: beforeImages said LeaveCurrent
    LeftNewer,     // nothing sent: beforeImages said LeaveNewer
    NotConfirmed,  // both images accepted, no prompt after the reboot
    NotVerified,   // the prompt came, afterPrompt said no
    Updated,       // confirmed (and verified where checked): the success line is shown
};

// With the port open at unitBaud, the rate the unit takes commands at:
// version query, product check, both transfers at 115200 baud, the reboot
// wait back at unitBaud and the prompt read, with the checks between them.
// Leaves gHexFPGA_Code allocated for the release of the session buffers.
UpdateOutcome updateFirmware(int unitBaud, const UpdatePolicy &policy);

#endif
