// Start-up of Orvanel: `orvanel` itself is a small program linked only to the
// reader, so that --help, --info and a bad command line cost what a
// command-line tool costs. The viewer and the batch modes need Qt, OpenGL and
// FFmpeg: for them it replaces itself (exec, same process and arguments) with
// orvanel-app, the full program, found beside it or where it is installed.
#include "batch/command_line.h"
#include "batch/plain_modes.h"
#include "launch_tunables.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Folder of this executable (with its final '/'), empty when it cannot be
// known. From /proc/self/exe; without /proc, from argv[0] as the caller ran
// it: a path with a '/', or a bare name looked up in PATH as the shell did,
// through absolute entries only. Never the working folder by default: a
// program planted there must not run in our place.
std::string own_folder(const char* argv0) {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    std::string path;
    if (n > 0) {
        path.assign(buf.data(), static_cast<std::size_t>(n));
    } else if (argv0 && std::strchr(argv0, '/')) {
        path = argv0;
    } else if (argv0 && *argv0) {
        const char* env = std::getenv("PATH");
        const std::string dirs = env ? env : "";
        for (std::size_t at = 0; at <= dirs.size();) {
            std::size_t end = dirs.find(':', at);
            if (end == std::string::npos) end = dirs.size();
            const std::string dir = dirs.substr(at, end - at);
            at = end + 1;
            if (dir.empty() || dir[0] != '/') continue; // relative to the working folder
            const std::string candidate = dir + "/" + argv0;
            if (access(candidate.c_str(), X_OK) == 0) {
                path = candidate;
                break;
            }
        }
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

int main(int argc, char** argv) {
    // --convert writes here, in the launcher: a file-size limit is a write
    // error (EFBIG) as in every other mode, never a kill.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::optional<orv::cli::CommandLine> cl = orv::read_command_line(argc, argv);
    if (!cl) return 2;
    const char* env = std::getenv("GLIBC_TUNABLES");
    const std::optional<std::string> given = env ? std::optional<std::string>(env) : std::nullopt;
    const std::string tunables = orv::with_huge_page_malloc(env);
    // Set for the one restart below, so that a C library that rewrote the
    // variable could never make it loop.
    const bool restarted = std::getenv("ORVANEL_RESTARTED") != nullptr;
    unsetenv("ORVANEL_RESTARTED");
    if ((cl->mode == orv::cli::Mode::Info || cl->mode == orv::cli::Mode::Convert ||
         cl->mode == orv::cli::Mode::PlotLine) &&
        tunables != given && !restarted) {
        // Reading a file here: once more, with the allocator's huge-page
        // advice, which only takes effect from a program's start (importers
        // build their meshes in many large vectors). Without /proc, as is.
        setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
        setenv("ORVANEL_RESTARTED", "1", 1);
        execv("/proc/self/exe", argv);
        unsetenv("ORVANEL_RESTARTED");
        if (given)
            setenv("GLIBC_TUNABLES", given->c_str(), 1);
        else
            unsetenv("GLIBC_TUNABLES");
    }
    if (const std::optional<int> status = orv::run_plain_mode(*cl)) return *status;

#ifdef ORVANEL_APP_NAME
    const std::string folder = own_folder(argc > 0 ? argv[0] : nullptr);
    if (folder.empty()) {
        std::fprintf(stderr,
                     "orvanel: cannot find %s: /proc/self/exe cannot be read and the program was not "
                     "started by a path or through PATH; start it by its full path\n",
                     ORVANEL_APP_NAME);
        return 1;
    }
    // Beside the launcher in a build folder; ORVANEL_APP_INSTALLED (relative
    // to the launcher's folder) once installed, e.g. ../libexec/orvanel/.
    std::string app = folder + ORVANEL_APP_NAME;
    if (access(app.c_str(), X_OK) != 0) app = folder + ORVANEL_APP_INSTALLED;
    setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
    execv(app.c_str(), argv);
    std::fprintf(stderr, "orvanel: cannot start %s: %s\n", app.c_str(), std::strerror(errno));
    return 1;
#else
    (void)own_folder;
    std::fputs("orvanel: this build has no viewer and no batch modes (built without ORVANEL_GUI)\n", stderr);
    return 2;
#endif
}
