#include "viewer/view/scene_gl.h"

#include "viewer/view/interaction.h"

#include <GL/gl.h>

namespace orv::view {
namespace {

void draw_object(SceneObject& object, const Camera& camera, const RunCallback& run_callback) {
    glPushMatrix();
    const Vec3f& p = object.position();
    const Vec3f& s = object.scale();
    glTranslatef(p[0], p[1], p[2]);
    glScalef(s[0], s[1], s[2]);
    if (object.show_axes()) draw_axes_symbol(camera.depth_of_view());
    if (object.render) {
        if (run_callback) {
            run_callback(object);
        } else {
            object.render();
        }
        glMatrixMode(GL_MODELVIEW);
    }
    for (SceneObject* child : object.children())
        draw_object(*child, camera, run_callback);
    glPopMatrix();
}

} // namespace

void draw_scene(Scene& scene, const Camera& camera, int w, int h, const ViewStyle& style,
                const RunCallback& run_callback) {
    glClearColor(style.background[0], style.background[1], style.background[2], 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    if (style.depth_test) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    if (style.face_culling) {
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
    glShadeModel(GL_SMOOTH);

    const Mat4 proj = ortho_matrix(camera.extents(w, h));
    const Mat4 eye = camera.view_matrix();
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(proj.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(eye.data());
    draw_object(scene.root(), camera, run_callback);
    scene.clear_changed();
    glFlush();
}

void draw_axes_symbol(double length) {
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_LIGHTING);
    glLineWidth(1.0f);
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(kAxesStippleFactor, kAxesStipple);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LEQUAL);
    glBegin(GL_LINES);
    for (const AxisSegment& seg : axes_segments(length)) {
        glColor4f(seg.from_colour[0], seg.from_colour[1], seg.from_colour[2], 1.0f);
        glVertex3d(seg.from[0], seg.from[1], seg.from[2]);
        glColor4f(seg.to_colour[0], seg.to_colour[1], seg.to_colour[2], 1.0f);
        glVertex3d(seg.to[0], seg.to[1], seg.to[2]);
    }
    glEnd();
    glPopAttrib();
}

} // namespace orv::view
