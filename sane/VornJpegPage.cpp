// JPEG pages decoded with libjpeg(-turbo), whose errors come back here instead of ending the
// front-end's process.
#include "VornJpegPage.h"

#include <csetjmp>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {

struct stJpegError {
    jpeg_error_mgr manager;
    jmp_buf escape;
};

void EscapeOnError(j_common_ptr info)
{
    longjmp(reinterpret_cast<stJpegError*>(info->err)->escape, 1);
}

// A corrupt page should not flood the front-end's terminal with libjpeg's warnings.
void IgnoreMessage(j_common_ptr) {}

bool ReadWholeFile(int fd, std::vector<unsigned char>& bytes)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size <= 0)
        return false;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Kept free of objects with destructors between setjmp and the last libjpeg call.
bool Decode(const std::vector<unsigned char>& jpeg, bool bColor, std::vector<unsigned char>& samples,
            stVornFrame& frame)
{
    jpeg_decompress_struct info {};
    stJpegError error {};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = EscapeOnError;
    error.manager.output_message = IgnoreMessage;
    if (setjmp(error.escape) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = bColor ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    const size_t rowBytes = static_cast<size_t>(info.output_width) * info.output_components;
    samples.resize(rowBytes * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = samples.data() + rowBytes * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    frame.enFormat = bColor ? SANE_FRAME_RGB : SANE_FRAME_GRAY;
    frame.iDepth = 8;
    frame.iPixelsPerLine = static_cast<SANE_Int>(info.output_width);
    frame.iBytesPerLine = static_cast<SANE_Int>(rowBytes);
    frame.iLines = static_cast<SANE_Int>(info.output_height);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

bool VornDecodeJpegPage(int fd, bool bColor, std::vector<unsigned char>& samples, stVornFrame& frame)
{
    std::vector<unsigned char> jpeg;
    samples.clear();
    return ReadWholeFile(fd, jpeg) && Decode(jpeg, bColor, samples, frame);
}
