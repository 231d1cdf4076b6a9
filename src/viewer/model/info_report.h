#pragma once
// The summary printed by `orvanel --info FILE`.

#include "viewer/model/result_model.h"

#include <string>

namespace orv {

// Lines "nnode N", "nelem N", "nlista N", "maxscale X", "range LO HI",
// one "list K LO HI NAME" per result list, "codes C:COUNT ...", then the
// named parts the file lists ("block ID TYPE COUNT NAME", "nodeset ID COUNT
// NAME", "sideset ID COUNT NAME"), each ended
// by '\n'. Reals use "%.15g". Names are in the current locale's encoding
// (decode_name_bytes, to_locale_text); their control bytes (below 0x20, and
// 0x7F) are written as \xHH, so that the report never drives a terminal.
std::string info_report(const ResultModel& model);

} // namespace orv
