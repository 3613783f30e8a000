// A temporary install folder for the agent: a copy of Engine.exe and a data
// directory holding a database written by the agent's own SaveDataFile,
// empty or full. Removed with everything in it when the object goes.
#pragma once

#include <cstdint>
#include <string>

class BenchInstall {
public:
    // topicCount 0 makes an empty database, any other a full one of that many topics.
    BenchInstall(const std::string& name, uint32_t topicCount);
    ~BenchInstall();
    BenchInstall(const BenchInstall&) = delete;
    BenchInstall& operator=(const BenchInstall&) = delete;

    bool ready() const { return ready_; }
    std::string EnginePath() const { return dir_ + "\\Engine.exe"; }

private:
    bool WriteDatabase(uint32_t topicCount) const;

    std::string dir_;
    bool ready_ = false;
};
