#pragma once
// Telling a key frame from the bytes of its chunk, for an index made again after the muxer's own
// was lost: uncompressed and intra-only video is all key frames; the compressed formats the
// program records say so in their first bytes (H.264: an IDR slice; MPEG-4: an I-VOP; FFV1: the
// key bit of its range coder) or, for Microsoft Video 1, by skipping no block.
#include <cstddef>
#include <cstdint>

enum class AviVideoCoding { EveryFrameKey, Video1, H264, Mpeg4, Ffv1 };

// From the stream header's handler and the bitmap header's compression (fourccs as stored).
AviVideoCoding AviVideoCodingOf(uint32_t fccHandler, uint32_t biCompression);
// How many of a chunk's bytes IsAviKeyFrame looks at (0: none).
std::size_t AviKeyFrameBytes(AviVideoCoding coding, std::size_t chunkSize);
bool IsAviKeyFrame(AviVideoCoding coding, const uint8_t* pData, std::size_t size);
