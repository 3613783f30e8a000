// InitStatus: how far start-up got, and the agent's exit code.
#pragma once

enum : int {
    INITSTATUS_RUNNING = 0,   // start-up completed
    INITSTATUS_STARTING = 1,  // starting, or a fatal start-up failure
    INITSTATUS_REPAIR = 3,    // the shared block or the database failed: run the installer
};

extern int InitStatus;
