// A second start of the agent with a command line hands the line (the path of
// a subscription file) to the running agent and ends; one without a command
// line ends when the running agent answers.
#pragma once

// Finds or starts the agent, starts the sibling display program when its
// window is missing, and sends the line by WM_COPYDATA. True when it was
// handed over and this process should exit with 0; false when no agent could
// be reached and this process should become the agent itself.
bool ForwardCommandLine(const char* commandLine);

// True when another agent's engine window exists and answers within a few
// seconds. Two agents on one database can only lose data: a second start
// without a command line then ends before it touches the shared record. An
// agent that does not answer is taken for hung, and this one starts.
bool AnotherAgentAnswers();
