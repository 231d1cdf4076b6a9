// Start-up of Orvanel: `orvanel` itself is a small program linked only to the
// reader, so that --help, --info and a bad command line cost what a
// command-line tool costs. The viewer and the batch modes need Qt, OpenGL and
// FFmpeg: for them it replaces itself (exec, same process and arguments) with
// orvanel-app, the full program, found beside it or where it is installed.
#include "batch/command_line.h"
#include "batch/plain_modes.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Folder of this executable (with its final '/'): from /proc/self/exe, or
// from argv[0] when /proc is not mounted.
std::string own_folder(const char* argv0) {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    std::string path = n > 0 ? std::string(buf.data(), static_cast<std::size_t>(n)) : std::string(argv0);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<orv::cli::CommandLine> cl = orv::read_command_line(argc, argv);
    if (!cl) return 2;
    if (const std::optional<int> status = orv::run_plain_mode(*cl)) return *status;

#ifdef ORVANEL_APP_NAME
    // Beside the launcher in a build folder; ORVANEL_APP_INSTALLED (relative
    // to the launcher's folder) once installed, e.g. ../libexec/orvanel/.
    const std::string folder = own_folder(argv[0]);
    std::string app = folder + ORVANEL_APP_NAME;
    if (access(app.c_str(), X_OK) != 0) app = folder + ORVANEL_APP_INSTALLED;
    execv(app.c_str(), argv);
    std::fprintf(stderr, "orvanel: cannot start %s: %s\n", app.c_str(), std::strerror(errno));
    return 1;
#else
    (void)own_folder;
    std::fputs("orvanel: this build has no viewer and no batch modes (built without ORVANEL_GUI)\n", stderr);
    return 2;
#endif
}
