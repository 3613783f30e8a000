// EngineUpdate: keeps every subscription current. On a clock tick that
// passes its gates it picks the next due topic in turn, asks the topic's
// ConfigUrl for what is newer than the highest message it holds, stores the
// answer in "Config.twl" in the data directory and, when the transfer went
// well, reads it with ParseConfigFile.
#pragma once

#include <windows.h>

#include <string>

#include "net/http_file_win.h"

namespace EngineUpdate {

// The transfer: the subscription file behind a "; " source header.
class CConfigDownload : public CHttpIniFile {
public:
    explicit CConfigDownload(HWND owner);
    void OnConnected(BOOL success) override;
    void OnFileComplete() override;
};

class CUpdate {
public:
    explicit CUpdate(HWND owner);
    ~CUpdate();
    CUpdate(const CUpdate&) = delete;
    CUpdate& operator=(const CUpdate&) = delete;

    void OnClockTick();
    // The end of a transfer, from the transfer's notifications.
    void OnDisconnect(int success);

    CConfigDownload* download = nullptr;
    uint32_t lastTopicId;       // the topic requested last; the next run starts after it
    int notStarted = 0;         // a run passed its gates but started no request
    int idle = 1;               // no transfer under way
    int32_t lastRunTime = -1;   // so the first tick after start-up runs
    std::string configFilePath;

private:
    HWND owner_;
};

// The job, from start-up to shutdown; null outside that time.
extern CUpdate* gJob;

}  // namespace EngineUpdate
