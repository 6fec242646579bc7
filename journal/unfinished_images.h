// The images an update began to rewrite and did not finish: written down before the driver is
// told which image to rewrite, cleared once the image and its length were taken. The device's
// driver tells no one whether an image is whole; this record does, for what this application
// did to it.
#pragma once

#include "platform/registry.h"

namespace journal {

// image: 0 the main image, 1 the rescue image.

// Writes down that the image is about to be rewritten. False, with the last error, when it
// cannot be kept.
bool MarkUnfinished(platform::Registry& registry, int image);
// The image is whole again. False, with the last error, when the mark stays.
bool MarkFinished(platform::Registry& registry, int image);
// Whether the image may not be whole: marked, or the record cannot be read.
bool MayBeUnfinished(platform::Registry& registry, int image);

}  // namespace journal
