// Resizing of packed RGB pictures for snapshots: bilinear to any size, and
// the cubic horizontal stretch that widens 528-pixel pictures to 704.
//
// Threading: pure functions over the buffers they are given.
#pragma once

#include <cstdint>

namespace qor {

// bytesPerPixel 3 or 4; every channel is interpolated (the fourth byte too).
// Weights are integers in 1/256 taken from each output pixel's source
// position, centres aligned.
void ResizeBilinear(const uint8_t* source, int sourceWidth, int sourceHeight, int sourceStride, uint8_t* destination,
                    int width, int height, int destinationStride, int bytesPerPixel);

// Horizontal only, Catmull-Rom cubic, edges repeated.
void StretchCubicHorizontal(const uint8_t* source, int sourceWidth, int height, int sourceStride,
                            uint8_t* destination, int width, int destinationStride, int bytesPerPixel);

}  // namespace qor
