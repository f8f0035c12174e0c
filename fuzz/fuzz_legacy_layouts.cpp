// The two older layouts' readers. First byte: bit 0 the byte order, bit 1 bank
// or preset; the next four bytes the values per program (any int); the rest is
// the data after the layout's 5-byte lead.
#include "FuzzEffect.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    run.reset();
    const bool reversed = (data[0] & 1) != 0;
    const bool bank = (data[0] & 2) != 0;
    int32_t valuesPerProgram;
    std::memcpy(&valuesPerProgram, data + 1, 4);
    std::vector<uint8_t> body(data + 5, data + size);
    const bool accepted = bank ? run.presets().loadLegacyBank(body, reversed, 32, valuesPerProgram)
                               : run.presets().loadLegacyPreset(body, reversed, valuesPerProgram);
    run.checkRefusal(accepted);
    return 0;
}
