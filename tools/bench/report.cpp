// The table rows and notes the benchmarks print, and the numbers in them as
// the table shows them (see report.h).
#include "report.h"

#include <cstdarg>
#include <cstdio>

namespace {

// The value with the given decimals, a "+" before it when signed, then the unit.
std::string Fixed(double value, int decimals, const char* unit, bool sign = false) {
    char text[64];
    snprintf(text, sizeof text, sign ? "%+.*f%s" : "%.*f%s", decimals, value, unit);
    return text;
}

}  // namespace

void PrintRow(const FigureRow& row) {
    printf("| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.subject.c_str(), row.baseline.c_str(),
           row.result.c_str(), row.goal.c_str(), row.met);
    fflush(stdout);
}

void PrintNote(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("- ", stdout);
    vprintf(format, args);
    fputs("\n", stdout);
    va_end(args);
    fflush(stdout);
}

const char* YesNo(bool met) {
    return met ? "yes" : "no";
}

std::string Micros(double seconds, int decimals) {
    return Fixed(seconds * 1e6, decimals, " us");
}

std::string Millis(double seconds, int decimals) {
    return Fixed(seconds * 1e3, decimals, " ms");
}

std::string Times(double ratio) {
    return Fixed(ratio, 2, "x");
}

std::string SignedMillis(double seconds) {
    return Fixed(seconds * 1e3, 1, " ms", true);
}

std::string KiB(double bytes) {
    return Fixed(bytes / 1024, 0, " KiB");
}
