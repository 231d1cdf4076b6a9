#pragma once
// The batch picture and video of a model, for every front end of the batch
// modes (the command line and the Python module): the same drawing, to
// memory or to a file.

#include "viewer/model/result_model.h"
#include "viewer/view/view_settings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// An RGB picture: 3 bytes a pixel, rows top first.
struct RgbPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// The picture of --picture: `settings` (with their lists checked) drawn in
// an off-screen OpenGL context made and freed on the calling thread. The
// common range of the settings is written into row 0 of the model's
// maxlista, as the command line does. Throws OutputError (picture too large,
// a list outside 1..nlista, a failed pass), OffscreenGlError, InvalidReal (a
// range that is not a number). The colour scale is the process-wide table:
// callers that draw on several threads at once keep drawings of different
// scales apart.
RgbPicture draw_picture(ResultModel& model, const view::ViewSettings& settings);

// 24-bit PNG bytes of a picture. Throws OutputError.
std::string png_of_picture(const RgbPicture& picture);

// The video of --video: one frame per list of `lists` (checked against
// nlista first) at `fps`, each frame the settings' size rounded down to a
// multiple of 8, written to `out` only once it is finished (an existing file
// is replaced then). `frame_done(i, n)` runs after frame i of n (from 1); an
// exception it throws stops the video, and nothing is written. Throws
// OutputError and the errors of draw_picture.
void write_video(ResultModel& model, const view::ViewSettings& settings, const std::vector<int>& lists,
                 int fps, const std::string& out,
                 const std::function<void(std::size_t, std::size_t)>& frame_done);

} // namespace orv
