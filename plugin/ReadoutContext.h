// The small value object the effect hands to its editor, which passes it as user
// data to the value-to-text formatters of its readouts. Only its presence
// matters: the formatters write no text without it and never read the value.
#pragma once

namespace zel {

struct ReadoutContext {
    double scale = 1.0;
};

} // namespace zel
