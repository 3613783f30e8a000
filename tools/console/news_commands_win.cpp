// The commands that show the news the way a display program sees it:
// through conversations with the agent.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "base/strutil.h"
#include "console_win.h"
#include "shared/conversation_win.h"
#include "shared/global_block_view_win.h"
#include "shared/update_outcome.h"

namespace {

constexpr DWORD kFollowStepMs = 100;
// No database holds more; the walks stop there whatever the agent answers.
constexpr int kMostAnswers = 100000;

std::atomic<bool> gInterrupted{false};

BOOL WINAPI OnConsoleBreak(DWORD) {
    gInterrupted = true;
    return TRUE;  // the loop ends and the conversation is closed properly
}

std::string Text(const char* field, size_t size) {
    return std::string(field, StrLenBounded(field, size));
}

bool Opened(const Conversation& conversation) {
    if (!conversation.open()) fprintf(stderr, "twl: the agent refused the conversation\n");
    return conversation.open();
}

void PrintMessage(const MsgArea& area) {
    printf("  %lu:%lu  %s  (%s)\n", static_cast<unsigned long>(area.msg.ridTopic),
           static_cast<unsigned long>(area.msg.ridMsg), Text(area.msg.Title, sizeof area.msg.Title).c_str(),
           Text(area.msg.Url, sizeof area.msg.Url).c_str());
}

uint32_t AdStreamTopic() {
    GlobalBlockView block;
    return block.valid() ? block.config().AdTopicId : kNoId;
}

}  // namespace

int ListTopics(int, char**) {
    HWND engine = RequireAgent();
    if (!engine) return kNoAgent;
    Conversation topics(engine, kTopicChannel);
    if (!Opened(topics)) return kFailed;
    TopicArea& area = topics.topics();
    area.wrap = 0;
    int count = 0;
    for (LRESULT found = topics.Request(FETCH_FIRST); found && count < kMostAnswers;
         found = topics.Request(FETCH_NEXT)) {
        printf("  %lu  %s  (%s, %s, %lu messages)\n", static_cast<unsigned long>(area.topic.ridTopic),
               Text(area.topic.Title, sizeof area.topic.Title).c_str(), TopicTypeName(area.topic.dwType),
               area.topic.bActive ? "on" : "off", static_cast<unsigned long>(area.msgCount));
        UpdateOutcome outcome;
        if (ReadOutcome(area.topic, &outcome) && !FailureText(outcome).empty())
            printf("      the last update failed: %s\n", FailureText(outcome).c_str());
        count++;
    }
    printf("%d topics\n", count);
    return kOk;
}

// Topic by topic, oldest message first: the order a display program steps in.
int ListMessages(int argc, char** argv) {
    const char* only = argc > 0 ? argv[0] : "";  // a topic title, or the start of one
    HWND engine = RequireAgent();
    if (!engine) return kNoAgent;
    Conversation topics(engine, kTopicChannel);
    Conversation messages(engine, kMessageChannel);
    if (!Opened(topics) || !Opened(messages)) return kFailed;
    uint32_t adStream = AdStreamTopic();  // ads are shown on their own, and every fetch counts a view
    TopicArea& topicArea = topics.topics();
    MsgArea& msgArea = messages.messages();
    topicArea.wrap = 0;
    msgArea.wrap = 0;
    int count = 0;
    for (LRESULT found = topics.Request(FETCH_FIRST); found && count < kMostAnswers;
         found = topics.Request(FETCH_NEXT)) {
        std::string title = Text(topicArea.topic.Title, sizeof topicArea.topic.Title);
        if (!topicArea.topic.bActive || topicArea.topic.ridTopic == adStream || title.rfind(only, 0) != 0) continue;
        printf("%s\n", title.c_str());
        msgArea.msg.ridTopic = topicArea.topic.ridTopic;
        msgArea.msg.ridMsg = kNoId;
        for (LRESULT msg = messages.Request(FETCH_FIRST); msg && count < kMostAnswers;
             msg = messages.Request(FETCH_NEXT)) {
            PrintMessage(msgArea);
            count++;
        }
    }
    printf("%d messages\n", count);
    return kOk;
}

// The ads as the agent holds them: a title that is a web address awaits its
// bitmap, a file name is the bitmap in the data directory. Every ad shown
// counts a view, as in any display program.
int ListAds(int, char**) {
    HWND engine = RequireAgent();
    if (!engine) return kNoAgent;
    uint32_t adStream = AdStreamTopic();
    if (adStream == kNoId) {
        printf("0 ads\n");
        return kOk;
    }
    Conversation messages(engine, kMessageChannel);
    if (!Opened(messages)) return kFailed;
    MsgArea& area = messages.messages();
    area.wrap = 0;
    area.msg.ridTopic = adStream;
    area.msg.ridMsg = kNoId;
    int count = 0;
    for (LRESULT found = messages.Request(FETCH_FIRST); found && count < kMostAnswers;
         found = messages.Request(FETCH_NEXT)) {
        printf("  %lu:%lu  %s  (%lu views)\n", static_cast<unsigned long>(area.msg.ridTopic),
               static_cast<unsigned long>(area.msg.ridMsg), Text(area.msg.Title, sizeof area.msg.Title).c_str(),
               static_cast<unsigned long>(area.msg.dwViews));
        count++;
    }
    printf("%d ads\n", count);
    return kOk;
}

// Steps through the headlines as a ticker does, going round with the wrap
// flag, and prints each one the first time it comes by.
int FollowTicker(int argc, char** argv) {
    HWND engine = RequireAgent();
    if (!engine) return kNoAgent;
    DWORD seconds = argc > 0 ? static_cast<DWORD>(atoi(argv[0])) : 0;  // 0: until interrupted
    Conversation messages(engine, kMessageChannel);
    if (!Opened(messages)) return kFailed;
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    printf("Following the ticker%s.\n", seconds ? "" : " (Ctrl+C ends)");
    fflush(stdout);

    MsgArea& area = messages.messages();
    std::set<std::pair<uint32_t, uint32_t>> shown;
    bool positioned = false;
    DWORD start = GetTickCount();
    while (!gInterrupted && (!seconds || GetTickCount() - start < seconds * 1000)) {
        if (!IsWindow(engine)) {
            fprintf(stderr, "twl: the agent has gone\n");
            return kNoAgent;
        }
        area.wrap = 1;
        if (!positioned) area.msg.ridTopic = area.msg.ridMsg = kNoId;  // from the first message there is
        positioned = messages.Request(positioned ? FETCH_NEXT : FETCH_FIRST) != 0;
        if (positioned && shown.insert({area.msg.ridTopic, area.msg.ridMsg}).second) {
            PrintMessage(area);
            fflush(stdout);
        }
        Sleep(kFollowStepMs);
    }
    printf("%zu headlines shown.\n", shown.size());
    return kOk;
}
