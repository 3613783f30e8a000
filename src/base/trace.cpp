#include "base/trace.h"

#include <cstdarg>
#include <cstdio>
#include <new>

#include "base/os.h"

void Trace(const char* format, ...) {
    char line[kTraceLineMax + 1];
    va_list args;
    va_start(args, format);
    int len = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (len < 0) return;
    gOs.DebugTrace(line);
}

void TraceCaught(const char* where) {
    try {
        throw;
    } catch (const char* text) {
        Trace("%s: Exception %s", where, text);
    } catch (const std::bad_alloc&) {
        Trace("%s: Out of memory", where);
    } catch (...) {
        Trace("%s: Unhandled Exception", where);
    }
}
