// The process-wide diagnostic trace. Every caught failure and many warnings end
// here as one printf-style line; the line goes to the system's debug channel
// (OutputDebugStringA on Windows), where a debugger, a monitor or
// WINEDEBUG=+debugstr shows it. Nothing the user sees comes from here.
#pragma once

#if defined(__GNUC__)
#define TRACE_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRACE_FORMAT(fmt, args)
#endif

// Longest line passed on; longer texts are cut, never overrun.
constexpr unsigned kTraceLineMax = 1023;

void Trace(const char* format, ...) TRACE_FORMAT(1, 2);

// Traces the exception being handled; call it only inside a catch block. A
// thrown text gives "where: Exception text", an exhausted heap "where: Out of
// memory", any other exception "where: Unhandled Exception". Every place
// where a failure must stop (a window procedure, a start-up step, a job's
// step) catches everything and passes it here.
void TraceCaught(const char* where);
