// Framing ("Enquadrar", F, --fit, files of other formats opening): the
// model's box centred on the camera's target and filling the view.
#include "viewer/view/framing.h"

#include "viewer/view/viewer_scenes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace orv::view {
namespace {

ResultModel nodes_at(const std::vector<Vec3d>& points) {
    ResultModel m;
    m.nnode = static_cast<std::int32_t>(points.size());
    m.coord_data.resize((points.size() + 1) * m.coord_cols());
    for (std::size_t i = 0; i < points.size(); ++i) {
        for (std::size_t a = 0; a < 3; ++a) {
            m.coord(i + 1, a + 1) = points[i][a];
            m.maxscale = std::max(m.maxscale, std::abs(points[i][a]));
        }
    }
    return m;
}

// The world position of file point p under a framing.
Vec3d world(const Framing& f, const Vec3d& p) {
    return {f.position[0] + f.scale * p[0], f.position[1] + f.scale * p[1], f.position[2] + f.scale * p[2]};
}

TEST(Framing, CentresTheBoxAndFillsTheLimitingSide) {
    Scene scene;
    ModelScene s = build_model_scene(scene);
    const Camera& front = *s.GLCamera1; // at (0, 0, 30), looking down -z
    struct Case {
        const char* name;
        std::vector<Vec3d> points;
        int w, h;
        Vec3d centre;      // of the box, file units
        double half_width; // of the box across the screen
        double half_height;
    };
    // At scene scale 1 the larger side of the view spans 10 world units.
    const Case cases[] = {
        {"a plate from the origin, wide view: the height limits",
         {{0, 0, 0}, {100, 50, 0}},
         800,
         400,
         {50, 25, 0},
         50,
         25},
        {"the same plate in a tall view: the width limits",
         {{0, 0, 0}, {100, 50, 0}},
         300,
         600,
         {50, 25, 0},
         50,
         25},
        {"far from the origin, with depth",
         {{1000, 2000, -5}, {1010, 2004, 5}},
         600,
         600,
         {1005, 2002, 0},
         5,
         2},
        {"a line along x", {{-3, 7, 1}, {9, 7, 1}}, 500, 500, {3, 7, 1}, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultModel m = nodes_at(c.points);
        const Framing f = fit_framing(m, front, c.w, c.h);
        const Vec3d centre = world(f, c.centre);
        for (double v : centre)
            EXPECT_NEAR(v, 0, 1e-4);
        const double view_half_x = 5.0 * c.w / std::max(c.w, c.h),
                     view_half_y = 5.0 * c.h / std::max(c.w, c.h);
        const double sx = c.half_width > 0 ? view_half_x / c.half_width : 1e300;
        const double sy = c.half_height > 0 ? view_half_y / c.half_height : 1e300;
        EXPECT_NEAR(f.scale, kFitFill * std::min(sx, sy), 1e-5 * f.scale);
    }
}

TEST(Framing, FollowsTheCameraAndKeepsTheDepthInView) {
    Scene scene;
    ModelScene s = build_model_scene(scene);
    // A long beam along z: from the front it is seen end on.
    const ResultModel beam = nodes_at({{0, 0, 0}, {1, 1, 1000}});
    const Framing end_on = fit_framing(beam, *s.GLCamera1, 600, 600);
    // Its far end stays in front of the camera at z = 30, its near end
    // before the far plane.
    EXPECT_LT(world(end_on, {0.5, 0.5, 1000})[2], 30.0);
    EXPECT_GT(world(end_on, {0.5, 0.5, 0})[2], 30.0 - 100.0);

    // From the side the beam's length limits.
    s.GLCamera1->orbit(0, 90);
    const Framing side = fit_framing(beam, *s.GLCamera1, 600, 600);
    EXPECT_NEAR(side.scale, kFitFill * 5.0 / 500.0, 1e-6);
}

TEST(Framing, DegenerateModelsKeepTheirScale) {
    Scene scene;
    ModelScene s = build_model_scene(scene);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<Vec3d> points;
        Vec3d centre;
    };
    const Case cases[] = {
        {"no nodes", {}, {0, 0, 0}},
        {"one point", {{4, -2, 8}}, {4, -2, 8}},
        {"a non-finite node is left out", {{4, -2, 8}, {nan, 1, 1}}, {4, -2, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResultModel m = nodes_at(c.points);
        const Framing f = fit_framing(m, *s.GLCamera1, 400, 300);
        EXPECT_FLOAT_EQ(f.scale, static_cast<float>(m.scene_scale()));
        const Vec3d centre = world(f, c.centre);
        for (double v : centre)
            EXPECT_NEAR(v, 0, 1e-5);
    }
}

} // namespace
} // namespace orv::view
