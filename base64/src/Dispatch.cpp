// SPDX-License-Identifier: MIT
// Which kernel set the codec runs on: the fastest this processor has, chosen at first use,
// or the one a test or a benchmark selects.
#include "Kernels.h"

#include <atomic>

namespace base64_detail {

namespace {

const Kernels* find(base64::kernel k) {
    switch (k) {
    case base64::kernel::scalar:
        return &kScalar;
    case base64::kernel::portable:
        return &kPortable;
#if defined(__x86_64__)
    case base64::kernel::avx2:
        return cpuHasAvx2() ? &kAvx2 : nullptr;
    case base64::kernel::avx512_vbmi:
        return cpuHasAvx512Vbmi() ? &kAvx512 : nullptr;
#endif
    default:
        return nullptr;
    }
}

const Kernels* best() {
    for (const base64::kernel k : {base64::kernel::avx512_vbmi, base64::kernel::avx2})
        if (const Kernels* found = find(k))
            return found;
    return &kPortable;
}

std::atomic<const Kernels*> active{nullptr};

} // namespace

const Kernels& kernels() noexcept {
    const Kernels* k = active.load(std::memory_order_acquire);
    if (k == nullptr) {
        // Two threads may both look; they find the same set.
        k = best();
        active.store(k, std::memory_order_release);
    }
    return *k;
}

} // namespace base64_detail

namespace base64 {

kernel active_kernel() noexcept {
    return base64_detail::kernels().id;
}

bool supported(kernel k) noexcept {
    return base64_detail::find(k) != nullptr;
}

bool select_kernel(kernel k) noexcept {
    const base64_detail::Kernels* found = base64_detail::find(k);
    if (found == nullptr)
        return false;
    base64_detail::active.store(found, std::memory_order_release);
    return true;
}

const char* kernel_name(kernel k) noexcept {
    switch (k) {
    case kernel::scalar:
        return "scalar";
    case kernel::portable:
        return "portable";
    case kernel::avx2:
        return "AVX2";
    case kernel::avx512_vbmi:
        return "AVX-512 VBMI";
    }
    return "unknown";
}

} // namespace base64
