// Puts a decoded picture into the job's packed I420 picture buffer at the
// size the encoder was created with: copied as it is when the sizes match,
// otherwise scaled with the bilinear scaler (the 528-wide recordings are
// reported, and encoded, as 704 wide).
//
// Threading: stateless; the caller owns the buffers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vidorra {

struct PlaneView {
    const uint8_t* data;
    int stride;
    int width;
    int height;  // negative: the picture is written bottom row first
};

// Scales one plane to dstWidth x dstHeight (packed rows). Destination pixel
// (i, j) blends source rows r, r + 1 and columns c, c + 1 with integer
// weights; at the right and bottom edges the last column and row stand in
// for the ones past the plane, so no byte outside it is read.
void BilinearScalePlane(const PlaneView& src, uint8_t* dst, int dstWidth, int dstHeight);

struct DecodedPicture {
    int width;
    int height;
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    int yStride;
    int uStride;
    int vStride;
};

// Bytes of a packed I420 picture (chroma planes of width / 2 x height / 2).
size_t PackedPictureSize(int width, int height);

// Fills buffer (capacity bytes) with the picture at targetWidth x
// targetHeight. False when the sizes are not positive or the buffer is too
// small; nothing is written then.
bool PackPicture(const DecodedPicture& picture, int targetWidth, int targetHeight, uint8_t* buffer, size_t capacity);

}  // namespace vidorra
