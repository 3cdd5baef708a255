// A JPEG's first bytes, as the preview hands them to ZOV's own reader.
#include "media/JpegExif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadJpegHead(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
