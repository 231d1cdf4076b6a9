#pragma once
// The result lists the video generator and the node history walk through.

#include <vector>

namespace orv {

// Lists a, a+s, a+2s, ... and b: a always comes first, even when a >= b; then
// every a + i*s that is smaller than b and not larger than `plot_items` (the
// number of items of the plot list, which the walk must not run past); then b.
// So a=1, b=10, s=3 gives 1 4 7 10 and a=5, b=5 gives 5 5.
// A step below 1 counts as 1, as the step's spin edit does with its minimum.
std::vector<int> list_sequence(int a, int b, int s, long long plot_items);

// Throws OutputError unless every list of `lists` is in 1..nlista; the
// message names the first list that is not.
void check_lists(const std::vector<int>& lists, int nlista);

} // namespace orv
