#include "Images.h"

#include <QBuffer>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/OutputFile.h"

namespace zrf {
namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

bool WriteWhole(const std::string& path, const void* data, size_t size, std::string& error) {
    zo::platform::OutputFile out;
    if (!out.Open(path) || !out.Write(data, size) || !out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

bool WriteBmp(const std::string& path, const uint8_t* bgr, int width, int height, std::string& error) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> file;
    file.reserve(54 + imageBytes);
    file.push_back('B');
    file.push_back('M');
    Put32(file, 54 + imageBytes);
    Put32(file, 0);
    Put32(file, 54);
    Put32(file, 40);
    Put32(file, static_cast<uint32_t>(width));
    Put32(file, static_cast<uint32_t>(height));  // positive: bottom-up rows
    Put16(file, 1);
    Put16(file, 24);
    Put32(file, 0);
    Put32(file, imageBytes);
    Put32(file, 2835);
    Put32(file, 2835);
    Put32(file, 0);
    Put32(file, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = bgr + static_cast<size_t>(y) * width * 3;
        file.insert(file.end(), row, row + width * 3);
        file.insert(file.end(), rowBytes - static_cast<uint32_t>(width) * 3, 0);
    }
    return WriteWhole(path, file.data(), file.size(), error);
}

}  // namespace

bool WriteStill(const std::string& path, const uint8_t* bgr, int width, int height, std::string& error) {
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".bmp")
        return WriteBmp(path, bgr, width, height, error);
    if (ext == ".png") {
        // BGR bytes in memory are what QImage calls BGR888.
        const QImage image(bgr, width, height, width * 3, QImage::Format_BGR888);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            error = "cannot encode the PNG picture";
            return false;
        }
        return WriteWhole(path, bytes.constData(), static_cast<size_t>(bytes.size()), error);
    }
    error = "the output must end in .png or .bmp";
    return false;
}

}  // namespace zrf
