// Name, unit label and value text of any parameter index, as the host and the
// text operations of the effect see them. Indices outside 0..119 and indices
// without an entry give an empty name and display and the label " ".
#pragma once

#include "params/ParameterTable.h"

namespace zel {

// The number a row's display shows for the normalized value x.
double parameterQuantity(Quantity quantity, double x);

void parameterName(int index, char* text);
void parameterLabel(int index, double x, char* text);
void parameterDisplay(int index, double x, char* text);

} // namespace zel
