// A temporary install folder with Engine.exe and a database written by the
// agent's own SaveDataFile (see install_folder_win.h).
#include "install_folder_win.h"

#include <windows.h>

#include <filesystem>
#include <system_error>

#include "full_database.h"
#include "process_win.h"
#include "news/data_file.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace fs = std::filesystem;

BenchInstall::BenchInstall(const std::string& name, uint32_t topicCount) {
    char temp[MAX_PATH];
    DWORD len = GetTempPathA(sizeof temp, temp);
    if (len == 0 || len >= sizeof temp) return;
    dir_ = std::string(temp) + "tidewell-bench-" + name + "-" + std::to_string(GetCurrentProcessId());
    std::error_code error;
    fs::create_directories(dir_ + "\\Data", error);
    if (error) return;
    std::string engine = ProgramDir() + "\\Engine.exe";
    ready_ = CopyFileA(engine.c_str(), EnginePath().c_str(), FALSE) && WriteDatabase(topicCount);
}

BenchInstall::~BenchInstall() {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

bool BenchInstall::WriteDatabase(uint32_t topicCount) const {
    TopicArray topics;
    if (topicCount) MakeFullDatabase(topics, topicCount);
    CConfigData cfg;
    MakeBenchConfig(cfg);
    return SaveDataFile((dir_ + "\\Data\\Msg.dat").c_str(), topics, cfg) == 1;
}
