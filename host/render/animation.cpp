#include "animation.h"

#include <webp/encode.h>
#include <webp/mux.h>

namespace gauge::render {

WebpAnimation::WebpAnimation(int width, int height, int frame_milliseconds)
    : width_(width), height_(height), frame_ms_(frame_milliseconds) {
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  options.anim_params.loop_count = 0;  // forever
  options.allow_mixed = 0;
  encoder_ = WebPAnimEncoderNew(width, height, &options);
}

WebpAnimation::~WebpAnimation() {
  if (encoder_) WebPAnimEncoderDelete(encoder_);
}

bool WebpAnimation::Add(const Canvas& frame, std::string& error) {
  if (!encoder_) {
    error = "the animation encoder could not start";
    return false;
  }
  if (frame.width != width_ || frame.height != height_) {
    error = "frame " + std::to_string(frames_ + 1) + " is " + std::to_string(frame.width) + " x " +
            std::to_string(frame.height) + " pixels, the first " + std::to_string(width_) + " x " +
            std::to_string(height_) + ": an animation keeps one size";
    return false;
  }
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  config.exact = 1;  // colours under transparent pixels kept too
  config.method = 2;
  WebPPicture picture;
  WebPPictureInit(&picture);
  picture.use_argb = 1;
  picture.width = width_;
  picture.height = height_;
  const std::vector<uint8_t> rgba = StraightRgba(frame);
  bool added = WebPPictureImportRGBA(&picture, rgba.data(), width_ * 4) &&
               WebPAnimEncoderAdd(encoder_, &picture, frames_ * frame_ms_, &config);
  WebPPictureFree(&picture);
  if (!added) {
    error = std::string("the animation encoder failed: ") + WebPAnimEncoderGetError(encoder_);
    return false;
  }
  ++frames_;
  return true;
}

bool WebpAnimation::Finish(std::vector<uint8_t>& bytes, std::string& error) {
  WebPData data;
  WebPDataInit(&data);
  const bool done = encoder_ && WebPAnimEncoderAdd(encoder_, nullptr, frames_ * frame_ms_, nullptr) &&
                    WebPAnimEncoderAssemble(encoder_, &data);
  if (!done) {
    error = std::string("the animation encoder failed: ") + (encoder_ ? WebPAnimEncoderGetError(encoder_) : "no encoder");
    WebPDataClear(&data);
    return false;
  }
  bytes.assign(data.bytes, data.bytes + data.size);
  WebPDataClear(&data);
  return true;
}

}  // namespace gauge::render
