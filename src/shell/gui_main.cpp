#include "shell/gui_main.h"

#include <cstdio>

namespace orv {
int run_gui(int, char**) {
    std::fputs("orvanel: the graphical interface is not built yet; use --info FILE\n", stderr);
    return 2;
}
}
