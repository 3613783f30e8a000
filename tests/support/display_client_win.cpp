// Plays a display program for the tests.
//   display_client ROUNDS [STOP]
//                              walks every active topic's messages ROUNDS times,
//                              or until the named event STOP is set; 0 when
//                              every walk answered as the first
//   display_client --abandon [SEMAPHORE]
//                              opens both channels, prints the message
//                              conversation's atom and handle, releases the
//                              semaphore and waits to be killed
//   display_client --display-window MS
//                              publishes a display window and prints what it is
//                              handed until the configuration update or MS ms
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "shared/conversation_win.h"
#include "shared/global_block_view_win.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"

namespace {

// A message's topic, number and title.
using Answer = std::tuple<uint32_t, uint32_t, std::string>;

std::vector<Answer> Walk(Conversation& topics, Conversation& messages, int& requests) {
    std::vector<Answer> answers;
    TopicArea& topicArea = topics.topics();
    MsgArea& msgArea = messages.messages();
    topicArea.wrap = 0;
    msgArea.wrap = 0;
    for (LRESULT found = topics.Request(FETCH_FIRST); found; found = topics.Request(FETCH_NEXT)) {
        requests++;
        if (!topicArea.topic.bActive) continue;
        msgArea.msg.ridTopic = topicArea.topic.ridTopic;
        msgArea.msg.ridMsg = kNoId;
        for (LRESULT msg = messages.Request(FETCH_FIRST); msg; msg = messages.Request(FETCH_NEXT)) {
            requests++;
            answers.emplace_back(msgArea.msg.ridTopic, msgArea.msg.ridMsg, msgArea.msg.Title);
            if (msgArea.topic.ridTopic != msgArea.msg.ridTopic) std::get<2>(answers.back()) += " (wrong topic record)";
        }
        requests++;
    }
    return answers;
}

HWND WaitForAgent() {
    for (int tries = 0; tries < 300; tries++) {
        GlobalBlockView block;
        if (HWND engine = block.EngineWindow()) return engine;
        Sleep(100);
    }
    return nullptr;
}

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const unsigned char* bytes = static_cast<const unsigned char*>(data->lpData);
        printf("copydata %lu from %lu: %lu bytes of %d\n", static_cast<unsigned long>(data->dwData),
               static_cast<unsigned long>(HwndToWord(reinterpret_cast<HWND>(wParam))),
               static_cast<unsigned long>(data->cbData), data->cbData ? bytes[0] : -1);
        return 1;
    }
    if (message == gMessages.configUpdate) {
        printf("configupdate\n");
        PostQuitMessage(0);
    }
    if (message == WM_TIMER) PostQuitMessage(1);
    return DefWindowProcA(window, message, wParam, lParam);
}

// The handle goes into the record as a 32-bit word, for agents of either word size.
int RunDisplayWindow(DWORD ms) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DisplayWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Tidewell test display client";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    GlobalBlockView block;
    if (!window || !block.valid()) return 2;
    SetTimer(window, 1, ms, nullptr);
    block.config().DisplayWindow = HwndToWord(window);
    printf("window %lu\n", static_cast<unsigned long>(HwndToWord(window)));
    fflush(stdout);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    block.config().DisplayWindow = kNoWindow;
    DestroyWindow(window);
    return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    HWND engine = WaitForAgent();
    if (!engine) {
        fprintf(stderr, "display_client: no agent\n");
        return 2;
    }
    if (strcmp(argv[1], "--abandon") == 0) {
        Conversation topics(engine, kTopicChannel), left(engine, kMessageChannel);
        printf("%u %u\n", static_cast<unsigned>(left.atom()), static_cast<unsigned>(left.handle()));
        fflush(stdout);
        HANDLE ready = argc > 2 ? OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, argv[2]) : nullptr;
        if (ready && topics.open() && left.open()) ReleaseSemaphore(ready, 1, nullptr);
        Sleep(INFINITE);
    }
    if (strcmp(argv[1], "--display-window") == 0) return RunDisplayWindow(argc > 2 ? atoi(argv[2]) : 10000);
    int rounds = atoi(argv[1]);
    Conversation topics(engine, kTopicChannel);
    Conversation messages(engine, kMessageChannel);
    if (!topics.open() || !messages.open()) {
        fprintf(stderr, "display_client: no conversation\n");
        return 3;
    }
    HANDLE stop = argc > 2 ? OpenEventA(SYNCHRONIZE, FALSE, argv[2]) : nullptr;
    auto stopped = [stop] { return stop && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; };
    int requests = 0, wrong = 0;
    std::vector<Answer> first = Walk(topics, messages, requests);
    for (int round = 1; round < rounds && !stopped(); round++) {
        if (Walk(topics, messages, requests) != first) wrong++;
    }
    printf("%d requests, %zu messages a walk, %d walks wrong\n", requests, first.size(), wrong);
    return first.empty() || wrong ? 1 : 0;
}
