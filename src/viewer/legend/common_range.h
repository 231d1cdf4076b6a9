#pragma once
// The common range of "> Valores Máximos" (CheckBox5 with the fields Edit5,
// Edit6), shared by CheckBox5Click, Edit5Exit and Edit6Exit:
//
//   1. box unchecked: legmax = 0; maxlista[0] is left as it is.
//   2. box checked: legmax = 1; Edit5 is read, and when it is 0 also Edit6.
//      If either is not 0 the range is manual: maxlista[0] = (Edit5, Edit6),
//      the minimum stored before Edit6 is read again. Otherwise (both 0) it is
//      the overall range of the file, (valmin, valmax).
//
// Manual values are taken as typed, also a minimum above the maximum; the
// pair 0, 0 always selects the overall range.

#include <array>
#include <string>

namespace orv {

struct CommonRangeInput {
    bool checked = false; // CheckBox5
    std::string minimum;  // text of Edit5
    std::string maximum;  // text of Edit6
    double valmin = 0, valmax = 0;
};

struct CommonRangeTarget {
    int& legmax;
    std::array<double, 2>& row0; // maxlista[0]
};

// Applies the steps above. A text that is not a real throws InvalidReal at
// the conversion that reads it, leaving what was already set: legmax = 1 and,
// when Edit6 fails after Edit5 was found non-zero, the new minimum in row0[0]
// with the old maximum in row0[1].
void apply_common_range(const CommonRangeInput& in, CommonRangeTarget out);

} // namespace orv
