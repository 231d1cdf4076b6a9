#include "batch/batch_render.h"

#include "batch/batch_view.h"
#include "batch/offscreen_gl.h"
#include "ui/png_bytes.h"
#include "viewer/output/avi_recorder.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"

#include <QImage>

namespace orv {

RgbPicture draw_picture(ResultModel& model, const view::ViewSettings& settings) {
    const FigureLayout layout = BatchView::layout_of(settings);
    if (layout.width() > figure::kMaxSide || layout.height() > figure::kMaxSide)
        throw OutputError("Picture size out of range: " + std::to_string(layout.width()) + "x" +
                          std::to_string(layout.height()) + " pixels, at most " +
                          std::to_string(figure::kMaxSide) + " a side.");
    // The context first: the view's display lists go before it.
    OffscreenGl gl(layout.width(), layout.height());
    BatchView view(model, settings);
    view.render(settings.lists);
    const std::vector<std::uint8_t> rgba = gl.read_rgba();
    RgbPicture picture{gl.width(), gl.height(), {}};
    const auto w = static_cast<std::size_t>(gl.width());
    const auto h = static_cast<std::size_t>(gl.height());
    picture.rgb.resize(w * h * 3);
    // The framebuffer's rows come bottom first.
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* src = rgba.data() + (h - 1 - y) * w * 4;
        std::uint8_t* dst = picture.rgb.data() + y * w * 3;
        for (std::size_t x = 0; x < w; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return picture;
}

std::string png_of_picture(const RgbPicture& picture) {
    const QImage image(picture.rgb.data(), picture.width, picture.height, picture.width * 3,
                       QImage::Format_RGB888);
    return png_bytes(image);
}

void write_video(ResultModel& model, const view::ViewSettings& settings, const std::vector<int>& lists,
                 int fps, const std::string& out,
                 const std::function<void(std::size_t, std::size_t)>& frame_done) {
    check_lists(lists, model.nlista);
    OffscreenGl gl(settings.width, settings.height);
    BatchView view(model, settings);

    AviRecorder recorder;
    recorder.set_width(settings.width);
    recorder.set_height(settings.height);
    recorder.set_fps(fps);
    recorder.set_filename(out);
    // Under its name only once it is whole: a stopped or killed run leaves nothing.
    recorder.set_named_while_recording(false);
    try {
        // An existing file is replaced, as every batch output is; only once the video is finished.
        recorder.create([](const std::string&) { return true; });
        for (std::size_t i = 0; i < lists.size(); ++i) {
            view.render({lists[i]});
            const std::vector<std::uint8_t> rgba = gl.read_rgba();
            recorder.add_frame(
                FramePicture{rgba.data(), gl.width(), gl.height(), 0, PixelLayout::Rgba, true});
            if (frame_done) frame_done(i + 1, lists.size());
        }
        recorder.close();
    } catch (...) {
        recorder.discard();
        throw;
    }
}

} // namespace orv
