// The program's pictures as bytes built into the executable (generated from ui/res by EmbedFiles.cmake).
#pragma once

#include <cstddef>

namespace embedded_images {

struct Blob {
    const unsigned char* data;
    std::size_t size;
};

extern const Blob kAppIcon;      // ZK405.ico: icon 128, 32x32 and 16x16, 16 colours
extern const Blob kModuleBitmap; // module.bmp: bitmap 129, 274x161, 24-bit

} // namespace embedded_images
