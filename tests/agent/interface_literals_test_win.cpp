// The names and numbers other programs use to meet the agent, spelt out as
// they spell them, not taken from the agent's headers: a slip there fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "agent_process_win.h"
#include "base/scoped_win.h"
#include "test_window_win.h"

namespace {

const char kEngineClass[] = "Tidewell 1.1.1043.1 Engine Window";
const char kGlancerClass[] = "Tidewell 1.1.1043.1 Glancer Window";
const char kRequestObject[] = "Tidewell 1.1.1043.1 WM_REQUESTOBJECT";
const char kConfigDlg[] = "Tidewell 1.1.1043.1 WM_CONFIGDLG";
const char kConfigUpdate[] = "Tidewell 1.1.1043.1 WM_CONFIGUPDATE";
const char kGlobalMapping[] = "Tidewell - Global Memory - 1.1.1043.1";
const char kLockEvent[] = "Tidewell - Shared Memory Lock";

// Offsets in the global mapping: a 12-byte header, then the record.
const size_t kAttachCount = 0, kRecordSize = 4, kInstallDir = 12 + 0, kDataDir = 12 + 261, kDisplayWindow = 12 + 536,
             kEngineWindow = 12 + 532;
// Offsets in a conversation mapping: its header, then the area.
const size_t kRefCount = 0, kAreaSize = 4, kHandle = 8, kTopicTitle = 12 + 8 + 40, kTopicMsgCount = 12 + 3620;
const DWORD kTopicMapping = 3636, kMsgMapping = 5084;

uint32_t Word(const void* view, size_t offset) {
    uint32_t value;
    memcpy(&value, static_cast<const char*>(view) + offset, sizeof value);
    return value;
}

std::string ConversationName(ATOM atom) {
    char name[64];
    snprintf(name, sizeof name, "TWL SharedMem [%lX]", static_cast<unsigned long>(atom));
    return name;
}

char* At(const MappedView& view, size_t offset) {
    return static_cast<char*>(view.get()) + offset;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 10000, &answer)) return -1;
    return static_cast<LRESULT>(answer);
}

UINT gConfigUpdate;
int gConfigUpdates;

LRESULT CALLBACK DisplayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == gConfigUpdate) gConfigUpdates++;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST(InterfaceLiterals, ADisplayProgramFindsAndTalksToTheAgentByTheNamesItKnows) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder folder("literals", InstallFolder::kWithoutDatabase);
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / Pinned", "messages": [{"ridMsg": 3}]}]})"));
    CopyProgram(folder.path(), "config_standin.dll", "CONFIG.DLL");
    folder.Write("config-script.txt", "accept=1\n");
    AgentProcess agent(folder);
    ASSERT_NE(nullptr, agent.WaitForEngineWindow());
    HWND engine = FindWindowA(kEngineClass, nullptr);
    ASSERT_EQ(agent.window(), engine);

    // The global block and its lock, by name; the record at its offsets.
    MappedView block = MappedView::Open(kGlobalMapping, 12 + 3556);
    ASSERT_NE(nullptr, block.get());
    EXPECT_EQ(1u, Word(block.get(), kAttachCount));
    EXPECT_EQ(0u, Word(block.get(), kRecordSize));  // the creator leaves it 0
    EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(engine)), Word(block.get(), kEngineWindow));
    EXPECT_STREQ(folder.path().c_str(), At(block, kInstallDir));
    EXPECT_EQ(folder.path() + "\\Data", At(block, kDataDir));
    ScopedHandle lock(OpenEventA(SYNCHRONIZE, FALSE, kLockEvent));
    ASSERT_TRUE(lock);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(lock.get(), 0));  // signalled: no readers

    // A topic conversation on a mapping the display program made first.
    const UINT request = RegisterWindowMessageA(kRequestObject);
    ATOM atom = GlobalAddAtomA("literals test topics");
    {
        bool existed = false;
        MappedView topics = MappedView::Create(ConversationName(atom).c_str(), kTopicMapping, &existed);
        ASSERT_NE(nullptr, topics.get());
        *reinterpret_cast<uint32_t*>(At(topics, kRefCount)) = 1;
        ASSERT_EQ(1, Send(engine, request, atom, MAKELPARAM(0, 0)));
        EXPECT_EQ(2u, Word(topics.get(), kRefCount));
        EXPECT_EQ(3624u, Word(topics.get(), kAreaSize));
        const uint16_t handle = static_cast<uint16_t>(Word(topics.get(), kHandle));
        EXPECT_TRUE(handle >= 1 && handle <= 19) << handle;
        ASSERT_EQ(1, Send(engine, request, 1, MAKELPARAM(0, handle)));  // the first topic
        EXPECT_STREQ("News / Pinned", At(topics, kTopicTitle));
        EXPECT_EQ(1u, Word(topics.get(), kTopicMsgCount));
        EXPECT_EQ(1, Send(engine, request, 0, MAKELPARAM(0, handle)));  // close
        EXPECT_EQ(1u, Word(topics.get(), kRefCount));
    }
    GlobalDeleteAtom(atom);

    // A message conversation on the agent's own mapping; no channel 2.
    atom = GlobalAddAtomA("literals test messages");
    ASSERT_EQ(1, Send(engine, request, atom, MAKELPARAM(1, 0)));
    {
        MappedView msgs = MappedView::Open(ConversationName(atom).c_str(), kMsgMapping);
        ASSERT_NE(nullptr, msgs.get());
        EXPECT_EQ(1u, Word(msgs.get(), kRefCount));
        EXPECT_EQ(0u, Word(msgs.get(), kAreaSize));
        EXPECT_EQ(1, Send(engine, request, 0, MAKELPARAM(1, Word(msgs.get(), kHandle) & 0xFFFF)));
    }
    EXPECT_EQ(0, Send(engine, request, atom, MAKELPARAM(2, 0)));
    GlobalDeleteAtom(atom);

    // The preferences, asked for by name; the display window told by name.
    gConfigUpdate = RegisterWindowMessageA(kConfigUpdate);
    WindowGuard display{MakeWindowOfClass("literals test display", DisplayProc)};
    *reinterpret_cast<uint32_t*>(At(block, kDisplayWindow)) =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(display.window));
    Send(engine, RegisterWindowMessageA(kConfigDlg), 0, 0);
    EXPECT_EQ(0u, folder.Read("config-calls.log").find("call"));
    EXPECT_EQ(1, gConfigUpdates);

    // The display program is asked to close with the agent.
    HWND glancer = MakeWindowOfClass(kGlancerClass);
    EXPECT_EQ(0u, agent.Close());
    EXPECT_FALSE(IsWindow(glancer));
}
