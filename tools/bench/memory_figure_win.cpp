// Figure 5: memory. Engine.exe with the full database, once start-up is
// complete, less bench_window.exe (what any Wine program with a window
// takes), against the bytes of the records it holds: sizeof the topic and
// message records times their counts. A second row takes the agent with an
// empty database as the baseline instead, which leaves only what the
// database itself costs. No fixed goal.
#include <windows.h>

#include <string>
#include <vector>

#include "agent_figures_win.h"
#include "full_database.h"
#include "measure.h"
#include "shared/records.h"
#include "report.h"
#include "started_program_win.h"

namespace {

struct Samples {
    std::vector<double> privateBytes;
    std::vector<double> workingSet;
};

enum class Subject { FullAgent, EmptyAgent, Baseline };

bool Sample(Subject subject, const BenchInstall& full, const BenchInstall& empty, Samples& samples) {
    StartedProgram started = subject == Subject::Baseline ? StartBaselineProgram()
                                                          : StartAgent(subject == Subject::FullAgent ? full : empty);
    if (!started.ok()) return FigureFailed("5", "a program did not start");
    MemoryUse use;
    if (!started.process.Memory(use)) return FigureFailed("5", "the memory of a program could not be read");
    samples.privateBytes.push_back(use.privateBytes);
    samples.workingSet.push_back(use.workingSet);
    if (!started.Close()) return FigureFailed("5", "a program did not end when asked");
    Sleep(100);
    return true;
}

void PrintMemoryRow(const char* figure, const char* against, const Samples& agent, const Samples& base) {
    double records = static_cast<double>(FullDatabaseRecordBytes(kAgentTopics));
    double privateMore = Median(agent.privateBytes) - Median(base.privateBytes);
    double workingMore = Median(agent.workingSet) - Median(base.workingSet);
    std::string counts = std::to_string(kAgentTopics) + " x " + std::to_string(sizeof(TopicRecord)) + " + " +
                         std::to_string(FullDatabaseMessages(kAgentTopics)) + " x " + std::to_string(sizeof(MsgRecord));
    PrintRow({figure,
              std::string("Engine.exe, full database, less ") + against + ": private " + KiB(privateMore) +
                  " (working set " + KiB(workingMore) + ")",
              "its records, " + counts + " bytes: " + KiB(records), Times(privateMore / records), "none", "-"});
}

}  // namespace

bool RunMemoryFigure(const BenchInstall& full, const BenchInstall& empty, const BenchOptions& options) {
    Samples fullAgent, emptyAgent, baseline;
    int rounds = options.Rounds(3, 1);
    for (int round = 0; round < rounds; round++) {
        if (!Sample(Subject::FullAgent, full, empty, fullAgent)) return false;
        if (!Sample(Subject::Baseline, full, empty, baseline)) return false;
        if (!Sample(Subject::EmptyAgent, full, empty, emptyAgent)) return false;
    }
    PrintMemoryRow("5a", "bench_window.exe", fullAgent, baseline);
    PrintMemoryRow("5b", "Engine.exe with an empty database", fullAgent, emptyAgent);
    PrintNote(
        "figure 5: committed private bytes: Engine.exe with the full database %s, with an empty one %s; "
        "bench_window.exe %s",
        KiB(Median(fullAgent.privateBytes)).c_str(), KiB(Median(emptyAgent.privateBytes)).c_str(),
        KiB(Median(baseline.privateBytes)).c_str());
    return true;
}
