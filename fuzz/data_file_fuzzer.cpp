// Fuzzes the load of the message data file with the input as Msg.dat. A
// file the load accepts is saved and loaded again: the second save must
// write the bytes of the first (the start count aside, which every load
// raises), or a restart would change the database.
#include <cstddef>
#include <cstring>
#include <string>

#include "memory_os.h"
#include "news/data_file.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace {

constexpr size_t kStartCountOffset = offsetof(DataFileHeader, StartCount);

void CheckTopics() {
    FUZZ_CHECK(gTopicArray.Size <= TopicArray::kCapacity);
    gTopicArray.ForEach([](const CTopic& topic) {
        FUZZ_CHECK(strlen(topic.Title) < sizeof topic.Title && strlen(topic.MsgBaseUrl) < sizeof topic.MsgBaseUrl);
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
            FUZZ_CHECK(node->value->ridTopic == topic.ridTopic);
            FUZZ_CHECK(strlen(node->value->lpszUrl) <= kMsgUrlMax);
        }
    });
}

std::string SaveAndReload() {
    FUZZ_CHECK(SaveDataFile(fuzz::kPath, gTopicArray, *gConfig) == 1);
    std::string saved = fuzz::SavedFile();
    fuzz::ResetNews();
    FUZZ_CHECK(LoadDataFile(fuzz::kPath, gTopicArray, *gConfig) == 1);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseMemoryOs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ResetNews();
    fuzz::Serve(data, size);
    int loaded = LoadDataFile(fuzz::kPath, gTopicArray, *gConfig);
    FUZZ_CHECK(fuzz::OpenFiles() == 0);
    CheckTopics();
    if (loaded) {
        std::string first = SaveAndReload();
        std::string second = SaveAndReload();
        FUZZ_CHECK(first.size() == second.size() && first.size() >= sizeof(DataFileHeader));
        memcpy(&second[kStartCountOffset], &first[kStartCountOffset], sizeof(uint32_t));
        FUZZ_CHECK(first == second);
        FUZZ_CHECK(fuzz::OpenFiles() == 0);
    }
    fuzz::ResetNews();
    return 0;
}
