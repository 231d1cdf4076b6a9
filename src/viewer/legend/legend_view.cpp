// Legend view: DirectOpenGL2's render callback, run on every paint of
// GLSceneViewer2 with its context current and the legend camera applied
// (visible x in [-2W/H, 2W/H], y in [-2, 2] of the plane z = 0).

#include "viewer/Unit2.h"

namespace orv {

void TForm2::DirectOpenGL2Render() {
    // Filled in by the legend subsystem.
}

} // namespace orv
