#include "jobs/ad_stream.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/os.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "news/topic_array.h"

namespace AdStream {

namespace {

bool IsAdBitmapName(const std::string& name) {
    return !name.empty() && (name[0] == 'a' || name[0] == 'A') && StrEndsWithNoCase(name.c_str(), ".bmp");
}

bool FirstFourMatch(const char* a, const char* b) {
    char left[5], right[5];
    StrCopy(left, sizeof left, a);
    StrCopy(right, sizeof right, b);
    return StrCompareNoCase(left, right) == 0;
}

}  // namespace

CMsg* NextAd(const CTopic& topic, uint32_t lastAdNumber) {
    const MsgList& list = topic.msgList;
    if (!list.count()) return nullptr;
    MsgList::I node = list.begin();
    if (lastAdNumber != kNoId) {
        while (node != list.end() && node->value->ridMsg != lastAdNumber) node = MsgList::next(node);
        if (node != list.end()) node = MsgList::next(node);
    }
    if (node == list.end()) node = list.begin();
    return node->value;
}

std::string BitmapName(uint32_t ridMsg) {
    char name[32];
    snprintf(name, sizeof name, "A%07lu.bmp", static_cast<unsigned long>(ridMsg));
    return name;
}

std::string BitmapRequest(const char* title, const CConfigData& cfg) {
    char account[sizeof cfg.AccountId];
    StrCopyField(account, sizeof account, cfg.AccountId, sizeof cfg.AccountId);
    char url[1024];
    snprintf(url, sizeof url, "%s?AID=%s", title, account);
    char* variant = strstr(url, "C.bmp");
    if (!variant) variant = strstr(url, "C.BMP");
    if (variant) *variant = cfg.PaletteDisplay ? '4' : '8';
    return url;
}

bool AwaitsBitmap(const char* title) {
    return FirstFourMatch(title, "http");
}

bool BitmapIsWhole(const char* path, int32_t bodyBytes) {
    OsFile* file = gOs.OpenRead(path);
    if (!file) return false;
    unsigned char start[6] = {};
    uint32_t got = 0;
    bool read = gOs.Read(file, start, sizeof start, &got) && got == sizeof start;
    gOs.Close(file);
    uint32_t declared = start[2] | start[3] << 8 | start[4] << 16 | static_cast<uint32_t>(start[5]) << 24;
    return read && start[0] == 'B' && start[1] == 'M' && bodyBytes >= 0 && declared == static_cast<uint32_t>(bodyBytes);
}

void AdReceived(const char* path, uint32_t lastAdNumber) {
    CTopic* topic = gTopicArray.FirstOfType(TOPIC_ADSTREAM);
    if (!topic) return;
    MsgList::I node = topic->msgList.begin();
    while (node != topic->msgList.end() && node->value->ridMsg != lastAdNumber) node = MsgList::next(node);
    if (node == topic->msgList.end()) return;  // removed meanwhile
    CMsg* old = node->value;
    old->tmReceived = gOs.Now();
    MsgRecord record;
    memset(&record, 0, sizeof record);
    old->ToRecord(record);
    const char* slash = strrchr(path, '\\');
    StrCopy(record.Title, sizeof record.Title, slash ? slash + 1 : path);
    CMsg* fresh = CMsg::Create(record);
    if (!fresh) return;  // the old message stays, with its address: fetched again on a later pass
    node->value = fresh;
    CMsg::Destroy(old);
}

int IsValidAdFile(const char* name) {
    try {
        CTopic* topic = gTopicArray.FirstOfType(TOPIC_ADSTREAM);
        if (!topic) return 0;
        for (MsgList::I node = topic->msgList.begin(); node != topic->msgList.end(); node = MsgList::next(node)) {
            if (FirstFourMatch(name, node->value->lpszTitle)) return 1;
        }
        return 0;
    } catch (...) {
        Trace("AdStream::IsValidAdFile: Unhandled Exception");
        return 0;
    }
}

void PurgeOldAds() {
    try {
        std::string dir = DataDirPath("");
        dir.pop_back();  // without the backslash
        std::vector<std::string> names;
        gOs.ListDir(dir.c_str(), [&names](const char* name) { names.push_back(name); });
        for (const std::string& name : names) {
            if (!IsAdBitmapName(name) || IsValidAdFile(name.c_str())) continue;
            std::string path = DataDirPath(name);
            if (path.size() <= 258) gOs.DeleteFile(path.c_str());
        }
    } catch (...) {
        Trace("AdStream::PurgeOldAds: Unhandled Exception");
    }
}

}  // namespace AdStream
