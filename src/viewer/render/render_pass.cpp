// Render pass of the 3D view: DirectOpenGL1's render callback.
//
// The viewport calls it on every paint of GLSceneViewer1, with the view's
// OpenGL context current and the model-view matrix holding camera, pan offset
// and model scale, so vertices are sent in the coordinates of the result file.
// While compiling display lists it may let events through with
// GLSceneViewer1->let_events_through() (never QCoreApplication::processEvents
// directly: that leaves another context current).

#include "viewer/Unit2.h"

namespace orv {

void TForm2::DirectOpenGL1Render() {
    // Filled in by the render subsystem.
}

} // namespace orv
