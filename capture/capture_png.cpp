// Pixels in and out of PNG files, and GL's read-back turned the right way up.
#include "capture_output.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace capture {

void flipToRgb(const unsigned char* rgba, Image& image) {
    const std::size_t w = image.width, h = image.height;
    image.rgb.resize(w * h * 3);
    for (std::size_t y = 0; y < h; ++y) {
        const unsigned char* src = rgba + (h - 1 - y) * w * 4;
        unsigned char* dst = &image.rgb[y * w * 3];
        for (std::size_t x = 0; x < w; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
}

namespace {

struct File {
    std::FILE* f;
    ~File() {
        if (f) std::fclose(f);
    }
};

// libpng's own handler prints to standard error; the callers report instead.
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp; these functions keep no C++ objects with
// destructors alive between setjmp and the calls that may jump.
bool encode(std::FILE* f, const Image& image, std::vector<png_bytep>& rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool decode(std::FILE* f, Image& image, std::string& problem) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    // Whatever the file holds, hand back 8-bit RGB.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(image.width) * 3) {
        problem = "unexpected pixel layout";
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    image.rgb.resize(std::size_t(image.width) * image.height * 3);
    std::vector<png_bytep> rows(image.height);
    for (std::uint32_t y = 0; y < image.height; ++y)
        rows[y] = &image.rgb[std::size_t(y) * image.width * 3];
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

bool writePng(const std::string& path, const Image& image, std::string* error) {
    File file{std::fopen(path.c_str(), "wb")};
    if (!file.f) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(image.height);
    for (std::uint32_t y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(&image.rgb[std::size_t(y) * image.width * 3]);
    bool ok = encode(file.f, image, rows);
    // A full disk shows only when the buffered data reaches it.
    ok = std::fflush(file.f) == 0 && ok;
    ok = std::fclose(file.f) == 0 && ok;
    file.f = nullptr;
    if (!ok && error) *error = "writing " + path + " failed: " + std::strerror(errno);
    return ok;
}

bool readPng(const std::string& path, Image& image, std::string* error) {
    File file{std::fopen(path.c_str(), "rb")};
    if (!file.f) {
        if (error) *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string problem = "not a readable PNG";
    const bool ok = decode(file.f, image, problem);
    if (!ok && error) *error = path + ": " + problem;
    return ok;
}

} // namespace capture
