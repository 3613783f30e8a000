// Fuzzes the load of Msg.dat. An accepted file is saved and loaded twice: the
// saves must agree but for the start count, or a restart would change the database.
#include <cstddef>

#include "memory_os.h"
#include "news/data_file.h"

namespace {

std::string SaveAndReload() {
    FUZZ_CHECK(SaveDataFile(fuzz::kPath, gTopicArray, *gConfig) == 1);
    std::string saved = fuzz::saved;
    fuzz::Reset();
    FUZZ_CHECK(LoadDataFile(fuzz::kPath, gTopicArray, *gConfig) == 1 && fuzz::openFiles == 0);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reset();
    fuzz::Serve(data, size);
    int loaded = LoadDataFile(fuzz::kPath, gTopicArray, *gConfig);
    FUZZ_CHECK(fuzz::openFiles == 0);
    fuzz::CheckTopics(false);
    if (loaded) {
        std::string first = SaveAndReload(), second = SaveAndReload();
        FUZZ_CHECK(first.size() == second.size() && first.size() >= sizeof(DataFileHeader));
        constexpr size_t kStartCount = offsetof(DataFileHeader, StartCount);
        memcpy(&second[kStartCount], &first[kStartCount], sizeof(uint32_t));
        FUZZ_CHECK(first == second);
    }
    fuzz::Reset();
    return 0;
}
