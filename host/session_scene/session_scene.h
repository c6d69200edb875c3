// What the renderer draws for a gauge driven by the stand-in host: the
// element chain after an update turned into a render::Scene, with the
// bitmaps it names, and the clickable areas the gauge registered.
#pragma once

#include <map>
#include <vector>

#include "annotate.h"
#include "gauge_session.h"
#include "scene.h"

namespace gauge {

struct GaugePicture {
  std::map<uint32_t, IndexedBitmap> bitmaps;  // by resource number; the scene points into it
  render::Scene scene;
};

// The scene of one update's chain: the face (the top element's bitmap sets
// the gauge's size), then every element in chain order. A needle turns by
// its result, or, with a calibration table, by the table's direction for
// its result; a sprite turns by its result behind the window bitmap at its
// own number + 3, when the module has one; a string shows the text read
// back from its buffer. Throws HostError when an element names a bitmap
// the module does not have.
GaugePicture PictureOf(const GaugeSession& session, const std::vector<ElementSnapshot>& chain);

// The child areas of the registered mouse-area list (the ones clicks go to), in list order.
std::vector<render::AreaOutline> ClickableAreas(const GaugeSession& session);

}  // namespace gauge
