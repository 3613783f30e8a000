// The preferences dialog: the library "CONFIG.DLL" beside the agent shows it
// with the exchange record, and the agent applies what the user confirmed.
#pragma once

// 0 when a dialog is already running, else 1 once it has ended.
int RunPreferences();
