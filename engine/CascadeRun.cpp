#include "engine/CascadeRun.h"

#include <algorithm>
#include <cstring>

namespace zel {

const double* CascadeRun::run(MultiFilter& filter, const double* x, int n) noexcept {
    n = std::clamp(n, 0, kMaxSamples);
    before_ = filter;
    std::copy_n(x, n, input_);
    std::copy_n(x, n, values_);
    MultiFilter::processChainBlock(&filter, 1, values_, n);
    after_ = filter;
    count_ = n;
    return values_;
}

// The samples compared as bits, like the state: 0 and -0 may lead the
// arithmetic apart.
const double* CascadeRun::reuse(MultiFilter& filter, const double* x, int n) const noexcept {
    if (n != count_ || std::memcmp(x, input_, sizeof(double) * static_cast<size_t>(n)) != 0 ||
        !filter.sameAs(before_))
        return nullptr;
    filter = after_;
    return values_;
}

} // namespace zel
