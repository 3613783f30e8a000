// Figure 4: start-up. From the request to create the process until the
// engine window exists and the global block names it (4a), and until that
// window answers a sent message (4b), which it does only once every
// start-up step is done (the full database loaded and listed in the trace,
// the jobs made, the clock set) and the message loop runs. The baseline is
// the same two moments of bench_window.exe, the smallest program with one
// window. The agent with an empty database runs too, for the note that
// tells the database's share. One program at a time, in alternating order.
#include <windows.h>

#include <string>
#include <vector>

#include "agent_figures_win.h"
#include "full_database.h"
#include "measure.h"
#include "report.h"
#include "started_program_win.h"

namespace {

struct StartTimes {
    std::vector<double> window;
    std::vector<double> answer;
};

enum class Subject { FullAgent, EmptyAgent, Baseline };

StartedProgram Start(Subject subject, const BenchInstall& full, const BenchInstall& empty) {
    if (subject == Subject::Baseline) return StartBaselineProgram();
    return StartAgent(subject == Subject::FullAgent ? full : empty);
}

bool StartAndClose(Subject subject, const BenchInstall& full, const BenchInstall& empty, StartTimes& times) {
    StartedProgram started = Start(subject, full, empty);
    if (!started.ok()) return FigureFailed("4", "a program did not start");
    times.window.push_back(started.windowSeconds);
    times.answer.push_back(started.answerSeconds);
    if (!started.Close()) return FigureFailed("4", "a program did not end when asked");
    Sleep(100);  // the agent's exit saves the database; let that settle before the next start
    return true;
}

void PrintStartRow(const char* figure, const char* agentStage, const std::vector<double>& agent,
                   const char* baselineStage, const std::vector<double>& baseline) {
    double subject = Median(agent), base = Median(baseline), more = subject - base;
    PrintRow({figure, std::string("Engine.exe, full database, start to ") + agentStage + ": " + Millis(subject),
              std::string("bench_window.exe, start to ") + baselineStage + ": " + Millis(base), SignedMillis(more),
              "<= +50 ms", YesNo(more <= 0.050)});
}

// What one line of the agent's trace costs, sent the way the agent sends it.
double TraceLineSeconds(int rounds) {
    std::vector<double> samples;
    for (int round = 0; round < rounds; round++) {
        samples.push_back(TimePerCall(100, [] { OutputDebugStringA("bench_agent: the cost of one trace line"); }));
    }
    return Median(samples);
}

// The listing of the database start-up writes to the trace: a line per
// topic and per message, five more around them.
unsigned ListingLines(uint32_t topicCount) {
    return 5 + topicCount + FullDatabaseMessages(topicCount);
}

}  // namespace

bool RunStartupFigure(const BenchInstall& full, const BenchInstall& empty, const BenchOptions& options) {
    StartTimes fullAgent, emptyAgent, baseline;
    int rounds = options.Rounds(9, 1);
    for (int round = 0; round < rounds; round++) {
        bool fullFirst = round % 2 == 0;
        if (!StartAndClose(fullFirst ? Subject::FullAgent : Subject::EmptyAgent, full, empty,
                           fullFirst ? fullAgent : emptyAgent))
            return false;
        if (!StartAndClose(Subject::Baseline, full, empty, baseline)) return false;
        if (!StartAndClose(fullFirst ? Subject::EmptyAgent : Subject::FullAgent, full, empty,
                           fullFirst ? emptyAgent : fullAgent))
            return false;
    }
    PrintStartRow("4a", "engine window named in the global block", fullAgent.window, "window there", baseline.window);
    PrintStartRow("4b", "window answering (start-up complete)", fullAgent.answer, "window answering", baseline.answer);
    PrintNote(
        "figure 4: with an empty database Engine.exe answers after %s: the full database's share of start-up "
        "(loading it, listing it in the trace) is %s",
        Millis(Median(emptyAgent.answer)).c_str(),
        SignedMillis(Median(fullAgent.answer) - Median(emptyAgent.answer)).c_str());
    double traceLine = TraceLineSeconds(options.Rounds(9, 1));
    unsigned lines = ListingLines(kAgentTopics);
    PrintNote(
        "figure 4: one trace line (OutputDebugStringA) costs %s here; the full database's listing is %u lines, %s",
        Micros(traceLine).c_str(), lines, Millis(traceLine * lines).c_str());
    return true;
}
