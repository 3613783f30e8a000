// Fuzzes DecodeEntities and TrimWhiteSpace, which edit headlines in place:
// neither may grow the text or read past its end.
#include "base/strutil.h"
#include "memory_os.h"
#include "net/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> decoded = fuzz::Text(data, size), trimmed = fuzz::Text(data, size);
    const size_t length = strlen(decoded.get());
    DecodeEntities(decoded.get());
    FUZZ_CHECK(strlen(decoded.get()) <= length && (memchr(data, '&', length) || !memcmp(decoded.get(), data, length)));

    FUZZ_CHECK(TrimWhiteSpace(trimmed.get()) == (length > 0 ? 1 : 0));
    const size_t kept = strlen(trimmed.get());
    // The kept text is the input's own, without the white space around it.
    FUZZ_CHECK(kept == 0 || (!IsSpaceChar(trimmed[0]) && !IsSpaceChar(trimmed[kept - 1]) &&
                             memmem(data, length, trimmed.get(), kept) != nullptr));
    return 0;
}
