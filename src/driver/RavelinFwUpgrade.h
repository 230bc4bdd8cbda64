// The update tool's driver: the exchange with the unit (UnitExchange.h),
// discovery of its port and rate (Discovery.h), its identification
// (UnitIdentification.h) and the update procedure (UpdateProcedure.h), with
// the long-lived buffers of a session.
//
// The driver's console lines are what this tool has always printed, and what
// operators' logs and scripts and the transcript tests match byte for byte:
// the "\n\r" line ends, the doubled spaces and the French out-of-memory line
// "Memoire insuffisante" are deliberate. Do not "fix" them.
#ifndef RAVELIN_FW_UPGRADE_H
#define RAVELIN_FW_UPGRADE_H

#include "Platform.h"

#include "Discovery.h"
#include "ImageAssembly.h"
#include "ToolVersion.h"  // FIRMWARE_VERSION_TO_UPLOAD
#include "UnitExchange.h"
#include "UnitIdentification.h"
#include "UpdateProcedure.h"

// The command buffer, the binary image and the MCU text copy of program
// entry. Out of memory prints "Memoire insuffisante", releases what was
// allocated and gives 0.
BOOL allocateSessionBuffers(void);
// Releases them and the programmable-logic text copy, if any.
void releaseSessionBuffers(void);

#endif
