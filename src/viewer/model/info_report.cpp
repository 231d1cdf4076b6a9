#include "viewer/model/info_report.h"

#include "viewer/model/name_text.h"

#include <cstdio>
#include <map>

namespace orv {
namespace {

std::string real(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

} // namespace

std::string info_report(const ResultModel& m) {
    std::string out;
    out += "nnode " + std::to_string(m.nnode) + "\n";
    out += "nelem " + std::to_string(m.nelem) + "\n";
    out += "nlista " + std::to_string(m.nlista) + "\n";
    out += "maxscale " + real(m.maxscale) + "\n";
    out += "range " + real(m.maxlista[0][0]) + " " + real(m.maxlista[0][1]) + "\n";
    for (std::int32_t k = 1; k <= m.nlista; ++k)
        out += "list " + std::to_string(k) + " " + real(m.maxlista[k][0]) + " " + real(m.maxlista[k][1]) +
               " " + escape_control_bytes(to_locale_text(decode_name_bytes(m.namelista[k]))) + "\n";
    std::map<std::int32_t, std::int64_t> codes;
    for (std::int32_t e = 1; e <= m.nelem; ++e)
        ++codes[m.element_code(e)];
    out += "codes";
    for (const auto& [code, count] : codes)
        out += " " + std::to_string(code) + ":" + std::to_string(count);
    out += "\n";
    for (const std::string& group : m.file_groups)
        out += escape_control_bytes(to_locale_text(decode_name_bytes(group))) + "\n";
    return out;
}

} // namespace orv
