// Linked into a build of the ticker whose heap refuses every block over
// 64 KB: an exhausted heap, as a huge headline list meets it, on demand.
#include <cstdlib>
#include <new>

namespace {
constexpr std::size_t kLargestBlock = 64 * 1024;
}  // namespace

void* operator new(std::size_t size) {
    void* block = size <= kLargestBlock ? std::malloc(size ? size : 1) : nullptr;
    if (!block) throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
