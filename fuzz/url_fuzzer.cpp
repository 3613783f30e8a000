// Fuzzes CUrl::Parse with the input as a URL (up to its first NUL): a topic's
// addresses come from subscription files and the data file. Whatever it
// accepts must be something the HTTP client can take as it is.
#include <cstring>

#include "memory_os.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text = fuzz::Text(data, size);
    CUrl url;
    url.Parse("http://replaced.test:8080/earlier");  // a second Parse must free the first result
    if (!url.Parse(text.get())) return 0;
    FUZZ_CHECK(url.scheme != nullptr);
    FUZZ_CHECK(url.port >= 0 && url.port <= 65535);
    FUZZ_CHECK(url.host == nullptr || *url.host != '\0');
    FUZZ_CHECK(url.host != nullptr || url.path != nullptr);
    if (url.path) {
        FUZZ_CHECK(url.path[0] == '/');
        FUZZ_CHECK(strlen(url.path) < kUrlPathBuffer);
        FUZZ_CHECK(strchr(url.path, '#') == nullptr);
    }
    return 0;
}
