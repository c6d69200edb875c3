// Animated WebP output through libwebp's animation encoder: frames of one
// size, each shown for a fixed time, stored losslessly (exact colours, so a
// frame decodes to the very pixels it was drawn with), looping.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

struct WebPAnimEncoder;

namespace gauge::render {

class WebpAnimation {
 public:
  WebpAnimation(int width, int height, int frame_milliseconds);
  ~WebpAnimation();
  WebpAnimation(const WebpAnimation&) = delete;
  WebpAnimation& operator=(const WebpAnimation&) = delete;

  // Adds the next frame; false, with `error`, when it cannot (another size).
  bool Add(const Canvas& frame, std::string& error);
  // The animation's bytes; false, with `error`, when the encoder fails.
  bool Finish(std::vector<uint8_t>& bytes, std::string& error);

 private:
  WebPAnimEncoder* encoder_ = nullptr;
  int width_, height_, frame_ms_;
  int frames_ = 0;
};

}  // namespace gauge::render
