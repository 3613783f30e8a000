// The global block between real processes, the lock and the page request.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "agent_process_win.h"
#include "shared/global_block.h"
#include "shared/messages_win.h"
#include "shared/page_request_win.h"
#include "shared/shared_lock_win.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"

namespace {

// The block header's attach count and record size as another program sees them.
std::string HeaderWords() {
    GlobalBlockView block;
    if (!block.valid()) return "no block";
    return std::to_string(block.header().attachCount) + " " + std::to_string(block.header().recordSize);
}

UINT gPageMessages = 0;

// A lambda cannot be a window procedure in a 32-bit build: it is not __stdcall.
LRESULT CALLBACK PageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    gPageMessages += message == gMessages.loadPage;
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// A failed check leaves this program attached until its exit handler detaches it.
TEST(GlobalBlock, ProcessesShareOneBlockAndTheLastOneEndsIt) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder first("block-first");
    AgentProcess creator(first);
    ASSERT_TRUE(creator.WaitForEngineWindow());
    EXPECT_EQ("1 0", HeaderWords());  // the creator leaves the record size 0

    ASSERT_EQ(1, GlobalInit());  // this test process attaches as a second program
    EXPECT_EQ("2 3556", HeaderWords());
    EXPECT_EQ(HwndToWord(creator.window()), gConfig->EngineWindow);  // the record taken as found, but
    EXPECT_EQ(std::string(gDirs.InstallDir), gConfig->InstallDir);   // the folders are the attacher's own
    EXPECT_NE(first.path(), gDirs.InstallDir);

    GlobalDetach();
    EXPECT_EQ(nullptr, gConfig);
    GlobalDetach();                      // a second detach, as at process exit, changes nothing
    EXPECT_EQ("1 3556", HeaderWords());  // the block outlived the process that left
    EXPECT_EQ(0, creator.Close());
    EXPECT_EQ("no block", HeaderWords());
}

TEST(SharedLock, ReadersHoldTheNamedEventWritersWaitAndATakenNameFails) {
    CSharedLock lock("Tidewell test lock");
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "Tidewell test lock");
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));  // no readers

    ASSERT_EQ(1, lock.EnterReader());
    ASSERT_EQ(1, lock.EnterReader());
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));

    std::atomic<bool> writing{false};
    std::thread writer([&] {
        if (lock.EnterWriter()) {
            writing = true;
            lock.LeaveWriter();
        }
    });
    for (int readers = 2; readers > 0; readers--) {
        Sleep(100);
        EXPECT_FALSE(writing) << readers << " readers still inside";
        lock.LeaveReader();
    }
    writer.join();
    EXPECT_TRUE(writing);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    CloseHandle(event);

    // A name taken by another kind of object: without its event every enter fails.
    HANDLE squatter = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, "Tidewell test lock 2");
    ASSERT_NE(nullptr, squatter);
    CSharedLock taken("Tidewell test lock 2");
    EXPECT_FALSE(taken.IsValid());
    EXPECT_EQ(0, taken.EnterReader());
    EXPECT_EQ(0, taken.EnterWriter());
    taken.LeaveReader();  // harmless
    taken.LeaveWriter();
    CloseHandle(squatter);
}

TEST(RequestPage, StoresACutTextAndPostsLoadPage) {
    WindowGuard page{MakeWindowOfClass("Tidewell test page window", PageWindowProc)};
    CConfigData cfg = {};
    cfg.PageWindow = HwndToWord(page.window);
    std::string longUrl(2000, 'u');
    EXPECT_EQ(1, RequestPage(cfg, longUrl.c_str(), 5, -6));
    EXPECT_EQ(std::string(1023, 'u'), cfg.PageUrl);
    EXPECT_EQ(5, cfg.PageParam1);
    EXPECT_EQ(-6, cfg.PageParam2);
    EXPECT_TRUE(WaitFor([] { return gPageMessages == 1; }, 5000));
    EXPECT_EQ(1, RequestPage(cfg, nullptr, 1, 2));  // no text: the old one stays
    EXPECT_EQ(std::string(1023, 'u'), cfg.PageUrl);
    EXPECT_TRUE(WaitFor([] { return gPageMessages == 2; }, 5000));
}
