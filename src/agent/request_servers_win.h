// The object servers of the two channels, bound to the news lookups that
// answer their requests.
#pragma once

#include "shared/object_server_win.h"

extern CSharedMemoryServer gTopicServer;    // kTopicChannel
extern CSharedMemoryServer gMessageServer;  // kMessageChannel

namespace Server {
// The object servers have nothing to prepare; start-up stops only on 0.
int Init();
}  // namespace Server
