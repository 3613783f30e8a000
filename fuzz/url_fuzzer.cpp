// Fuzzes CUrl::Parse: whatever it accepts the HTTP client can take as it is.
#include "memory_os.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CUrl url;
    url.Parse("http://replaced.test:8080/earlier");  // a second Parse must free the first result
    if (!url.Parse(fuzz::Text(data, size).get())) return 0;
    FUZZ_CHECK(url.scheme && url.port >= 0 && url.port <= 65535 &&
               (url.host ? *url.host != '\0' : url.path != nullptr));
    FUZZ_CHECK(!url.path || (url.path[0] == '/' && strlen(url.path) < kUrlPathBuffer && !strchr(url.path, '#')));
    return 0;
}
