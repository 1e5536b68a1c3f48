// Lines of text shown over the picture (the viewer's status overlay). The
// application sets them; a backend that shows windows draws them over the
// presented picture, top left, until they are cleared. Pictures the
// in-memory screen records never contain them.
//
// Safe from any thread.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Replaces the lines; an empty list hides the overlay.
void SetOverlay(std::vector<std::string> lines);
// The lines now shown (empty when hidden).
std::vector<std::string> Overlay();
// Rises with every SetOverlay, so that a backend redraws only on change.
unsigned OverlayVersion();

}  // namespace platform
