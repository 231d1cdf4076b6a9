#include "viewer/legend/common_range.h"

#include "viewer/model/number_text.h"

namespace orv {

void apply_common_range(const CommonRangeInput& in, CommonRangeTarget out) {
    if (!in.checked) {
        out.legmax = 0;
        return;
    }
    out.legmax = 1;
    bool manual = parse_real_text(in.minimum) != 0;
    if (!manual) manual = parse_real_text(in.maximum) != 0;
    if (manual) {
        out.row0[0] = parse_real_text(in.minimum);
        out.row0[1] = parse_real_text(in.maximum);
    } else {
        out.row0[0] = in.valmin;
        out.row0[1] = in.valmax;
    }
}

} // namespace orv
