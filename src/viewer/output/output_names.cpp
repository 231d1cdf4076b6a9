#include "viewer/output/output_names.h"

#include <string>

namespace orv {

std::string replace_extension_of_base(std::string_view namefile, std::string_view suffix) {
    const std::size_t slash = namefile.rfind('/');
    std::string_view base = slash == std::string_view::npos ? namefile : namefile.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
    std::string name(base);
    name += suffix;
    return name;
}

std::string avi_file_name(std::string_view namefile) {
    return replace_extension_of_base(namefile, ".avi");
}

std::string list_file_name(std::string_view namefile, std::string_view tag) {
    std::string suffix = "_";
    suffix += tag;
    suffix += ".lst";
    return replace_extension_of_base(namefile, suffix);
}

std::string figure_file_name(std::string_view namefile, int list) {
    return replace_extension_of_base(namefile, list > 0 ? "_" + std::to_string(list) + ".png" : ".png");
}

} // namespace orv
