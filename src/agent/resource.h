// Resource and command identifiers, shared by the resource script and the code.
#pragma once

#define IDI_ENGINE 700
#define IDR_ACCELERATORS 103

#define IDM_EXIT 40001
#define IDM_TOGGLE 40002  // Ctrl+T: left to default processing
#define IDM_TICKER 40005
#define IDM_PREFERENCES 40006
