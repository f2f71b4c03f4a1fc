#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

namespace base64_detail {

// Asks for transparent huge pages on a large buffer that has not been touched yet. Filling a
// buffer of hundreds of megabytes page by page costs more in page faults than the coding
// itself; the kernel may ignore the request, which only costs the faults again.
inline void adviseHugePages(void* buffer, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    if (bytes < 4 * kHuge)
        return;
    const std::uintptr_t begin =
        (reinterpret_cast<std::uintptr_t>(buffer) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace base64_detail
