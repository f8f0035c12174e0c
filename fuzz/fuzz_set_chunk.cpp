// The host chunk: any bytes, any size, through the host's own entry.
#include "FuzzEffect.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    run.reset();
    // An exact copy, so that a read past the end hits the sanitizer.
    std::vector<uint8_t> chunk(data, data + size);
    vst::AEffect* effect = run.fx().getAeffect();
    const intptr_t result =
        effect->dispatcher(effect, vst::effSetChunk, 0, static_cast<intptr_t>(size),
                           chunk.empty() ? nullptr : chunk.data(), 0.0f);
    // The older chunk's tag, in either byte order.
    const bool olderChunk =
        size >= 4 && ((data[0] == 1 && data[1] == 0 && data[2] == 0 && data[3] == 0) ||
                      (data[0] == 0 && data[1] == 0 && data[2] == 0 && data[3] == 1));
    run.checkRefusal(result == 0, false, olderChunk);
    if (result == 0) {
        // What was taken in can be given back.
        void* out = nullptr;
        if (run.fx().getChunk(&out, false) <= 0 || out == nullptr) std::abort();
    }
    return 0;
}
