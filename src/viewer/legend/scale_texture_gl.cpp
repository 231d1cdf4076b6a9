#include "viewer/legend/scale_texture_gl.h"

#include <GL/gl.h>

namespace orv {

bool ScaleTexture::set(const ScaleTexels& texels) {
    if (name_ != 0 && texels == texels_) return false;
    if (name_ == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        name_ = name;
    }
    glBindTexture(GL_TEXTURE_1D, name_);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA8, kScaleTexels, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_1D, 0);
    texels_ = texels;
    ++uploads_;
    return true;
}

void ScaleTexture::begin(const ScaleMapping& mapping) const {
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glTranslated(mapping.offset, 0, 0);
    glScaled(mapping.scale, 1, 1);
    glMatrixMode(static_cast<GLenum>(mode));
    glBindTexture(GL_TEXTURE_1D, name_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void ScaleTexture::end() {
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(static_cast<GLenum>(mode));
    glDisable(GL_TEXTURE_1D);
    glBindTexture(GL_TEXTURE_1D, 0);
}

void ScaleTexture::free() {
    if (name_ != 0) {
        const GLuint name = name_;
        glDeleteTextures(1, &name);
    }
    forget();
}

void ScaleTexture::forget() {
    name_ = 0;
    texels_ = {};
}

} // namespace orv
