#include "viewer/output/list_sequence.h"

#include "viewer/output/output_error.h"

#include <string>

namespace orv {

std::vector<int> list_sequence(int a, int b, int s, long long plot_items) {
    const long long step = s < 1 ? 1 : s;
    std::vector<int> lists{a};
    // 64-bit k: a + i*s may pass INT_MAX before it reaches b.
    for (long long k = static_cast<long long>(a) + step; k < b && k <= plot_items; k += step)
        lists.push_back(static_cast<int>(k));
    lists.push_back(b);
    return lists;
}

void check_lists(const std::vector<int>& lists, int nlista) {
    for (const int k : lists) {
        if (k >= 1 && k <= nlista) continue;
        if (nlista < 1)
            throw OutputError("Result list " + std::to_string(k) +
                              " does not exist: the file has no result lists.");
        throw OutputError("Result list " + std::to_string(k) +
                          " does not exist: the lists are numbered 1 to " + std::to_string(nlista) + ".");
    }
}

} // namespace orv
