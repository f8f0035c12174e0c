#include "gui/CBaseObject.h"

#include <atomic>

namespace zel::gui {

namespace {
// Atomic only because tests may count from another thread; objects are made and
// released on the user-interface thread.
std::atomic<int64_t> liveObjects{0};
} // namespace

CBaseObject::CBaseObject() noexcept {
    liveObjects.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::CBaseObject(const CBaseObject&) noexcept : CBaseObject() {}

CBaseObject::~CBaseObject() {
    liveObjects.fetch_sub(1, std::memory_order_relaxed);
}

void CBaseObject::forget() noexcept {
    if (--nbReference == 0) delete this;
}

int64_t CBaseObject::getLiveObjectCount() noexcept {
    return liveObjects.load(std::memory_order_relaxed);
}

} // namespace zel::gui
