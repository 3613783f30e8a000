#include "agent/agent_win.h"

AgentCore gAgent = {};
