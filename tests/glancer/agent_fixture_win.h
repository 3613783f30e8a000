// The real agent in a folder of the test's own, on a data file the test describes; it must end cleanly.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "agent_process_win.h"

class AgentFixture : public testing::Test {
protected:
    void StartAgent(const std::string& database, std::initializer_list<const char*> programs) {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        ASSERT_EQ(0u, folder.MakeDatabase(database));
        for (const char* program : programs) CopyProgram(folder.path(), program);
        agent = std::make_unique<AgentProcess>(folder);
        ASSERT_NE(nullptr, engine = agent->WaitForEngineWindow());
        ASSERT_TRUE(WaitForAnswer(engine, kStartTimeoutMs)) << "start-up did not end";  // the data file is loaded
        block = std::make_unique<GlobalBlockView>();
        cfg = &block->config();
    }
    void TearDown() override {
        if (agent && agent->Wait(0) == STILL_ACTIVE) {
            EXPECT_EQ(0u, agent->Close());
        }
    }
    InstallFolder folder{"agent", InstallFolder::kWithoutDatabase};
    std::unique_ptr<AgentProcess> agent;
    HWND engine = nullptr;
    std::unique_ptr<GlobalBlockView> block;
    CConfigData* cfg = nullptr;
};
