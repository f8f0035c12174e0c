// Loading a preset file (any layout) by path, in the plain and the reversed way.
#include "FuzzEffect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    const std::string path = run.writeFile("input.zel", std::span<const uint8_t>(data, size));
    for (bool reversed : {false, true}) {
        run.reset();
        run.checkRefusal(run.presets().loadPresetFile(path, reversed));
    }
    return 0;
}
