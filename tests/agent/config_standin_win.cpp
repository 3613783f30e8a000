// Stands in for the preferences library CONFIG.DLL. Its ConfigDialog notes
// each call in config-calls.log and what it was handed in config-received.txt
// (both beside it), then follows config-script.txt: lines of key=value that
// change the record and say whether the user confirms (accept=1), and how
// long the "dialog" stays open (waitMs, handling messages meanwhile).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "shared/config_exchange.h"
#include "process_win.h"

namespace {

// The agent loads the library from its own folder, the one it runs from.
std::string Beside(const char* name) {
    return ProgramDir() + "\\" + name;
}

void NoteReceived(const ConfigExchange& exchange) {
    std::ofstream out(Beside("config-received.txt"), std::ios::binary);
    out << "topicCount=" << exchange.topicCount << "\n";
    for (uint32_t i = 0; i < exchange.topicCount && i < kExchangeTopics; i++) {
        const TopicRecord& topic = exchange.topics[i];
        out << "topic" << i << "=" << topic.ridTopic << "|" << topic.Title << "|" << topic.bActive << "|"
            << topic.dwType << "\n";
    }
    out << "symbols=";
    for (uint32_t i = 0; i < exchange.symbolCount && i < kExchangeSymbols; i++)
        out << (i ? "," : "") << exchange.symbols[i];
    out << "\nproxy=" << exchange.proxyHost << "\nport=" << exchange.proxyPort << "\nenabled=" << exchange.proxyEnabled
        << "\nbrowser=" << exchange.browserPath << "\ninstall=" << exchange.installDir << "\npace=" << exchange.pace
        << "\npreference=" << exchange.displayPreference << "\nsettings0=" << int(exchange.displaySettings[0]) << "\n";
}

void Follow(const std::string& key, const std::string& value, ConfigExchange& exchange) {
    if (key == "accept") exchange.accepted = atoi(value.c_str());
    if (key == "proxy") strncpy(exchange.proxyHost, value.c_str(), sizeof exchange.proxyHost - 1);
    if (key == "port") exchange.proxyPort = atoi(value.c_str());
    if (key == "enabled") exchange.proxyEnabled = atoi(value.c_str());
    if (key == "browser") strncpy(exchange.browserPath, value.c_str(), sizeof exchange.browserPath - 1);
    if (key == "pace") exchange.pace = atoi(value.c_str());
    if (key == "preference") exchange.displayPreference = atoi(value.c_str());
    if (key == "symbols") {
        std::istringstream list(value);
        exchange.symbolCount = 0;
        for (std::string one; exchange.symbolCount < kExchangeSymbols && std::getline(list, one, ',');) {
            strncpy(exchange.symbols[exchange.symbolCount++], one.c_str(), kExchangeSymbolSize - 1);
        }
    }
    if (key == "symbolCount") exchange.symbolCount = strtoul(value.c_str(), nullptr, 10);
    if (key == "settings") memset(exchange.displaySettings, atoi(value.c_str()), sizeof exchange.displaySettings);
    if (key.compare(0, 6, "active") == 0) exchange.topics[atoi(key.c_str() + 6)].bActive = atoi(value.c_str());
    if (key == "waitMs") PumpMessages(static_cast<DWORD>(atoi(value.c_str())));
}

}  // namespace

// Exported through config_standin.def, under its plain name.
extern "C" int WINAPI ConfigDialog(ConfigExchange* exchange, DWORD) {
    std::ofstream(Beside("config-calls.log"), std::ios::app) << "call\n";
    NoteReceived(*exchange);
    std::ifstream script(Beside("config-script.txt"));
    std::string line;
    while (std::getline(script, line)) {
        size_t equals = line.find('=');
        if (equals != std::string::npos) Follow(line.substr(0, equals), line.substr(equals + 1), *exchange);
    }
    return 0;
}
