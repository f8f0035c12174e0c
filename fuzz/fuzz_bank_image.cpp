// The bank image reader: the first byte picks the byte order, the rest is the
// image (header and records), as a chunk, a file or a stored value hands it over.
#include "FuzzEffect.h"

#include "presets/BankImage.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    zel::fuzz::FuzzEffect& run = zel::fuzz::fuzzEffect();
    run.reset();
    const bool reversed = (data[0] & 1) != 0;
    std::vector<uint8_t> image(data + 1, data + size);
    const std::optional<zel::ImageHeader> header = zel::readImageHeader(image, reversed);
    if (!header) return 0;
    const std::span<const uint8_t> records = std::span<const uint8_t>(image).subspan(41);
    run.checkRefusal(run.presets().loadBankImage(records, *header, reversed));
    return 0;
}
