// The named global block shared by the agent and the display programs: a
// 12-byte header (attach count, record size, reserved) and the CConfigData
// record. The process that creates it initialises the record and reads the
// settings file; later processes take the record as they find it.
#pragma once

#include "shared/config_data.h"

// Attaches to the block, creating it if needed; afterwards gConfig is valid.
// Returns 0 (with a trace and a warning beep) when the block cannot be
// created or mapped. A failure of the record's initialisation propagates as
// thrown text with the block left attached.
int GlobalInit();

// Releases the attachment; the last process to detach ends the record.
// Harmless when nothing is attached.
void GlobalDetach();

// The header of the attached block, or null.
GlobalBlockHeader* GlobalBlockHeaderView();
