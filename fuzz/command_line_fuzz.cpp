// libFuzzer target: any argument vector (the input split at NUL bytes) must
// give a command line or a one-line UsageError, never a crash; a command
// line that parses holds values the batch modes can use as they are.
#include "batch/command_line.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words{"orvanel"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() || size == 0) words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);
    try {
        const orv::cli::CommandLine cl =
            orv::cli::parse_command_line(static_cast<int>(words.size()), argv.data());
        using orv::cli::Mode;
        // An empty argument is a file name like any other (the reader then refuses it).
        if (cl.mode == Mode::Picture || cl.mode == Mode::Video || cl.mode == Mode::History) {
            const orv::cli::ViewSettings& v = cl.view;
            if (v.width <= 0 || v.height <= 0 || !(v.zoom > 0) || v.scale < 1 || v.scale > 2)
                __builtin_trap();
            if (v.transparency < 0 || v.transparency > 100) __builtin_trap();
            if (v.figure_scale < 1 || v.figure_scale > 2) __builtin_trap();
        }
        if (cl.mode == Mode::Video && (cl.fps < 1 || cl.fps > 100 || cl.output.empty())) __builtin_trap();
        if ((cl.mode == Mode::Video || cl.mode == Mode::History) &&
            (cl.lists.first < 1 || cl.lists.last < 1 || cl.lists.step < 1))
            __builtin_trap();
    } catch (const orv::cli::UsageError& e) {
        const std::string message = e.what();
        if (message.empty() || message.find('\n') != std::string::npos) __builtin_trap();
    }
    return 0;
}
