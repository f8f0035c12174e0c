// Loading a bank file (any layout) by path, in the plain and the reversed way. A
// bank file whose identifier is ours selects program 0 even when refused.
#include "FuzzEffect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    const std::string path = run.writeFile("input.zlb", std::span<const uint8_t>(data, size));
    for (bool reversed : {false, true}) {
        run.reset();
        run.checkRefusal(run.presets().loadBankFile(path, reversed), true);
    }
    return 0;
}
