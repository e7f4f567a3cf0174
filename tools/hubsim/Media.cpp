#include "Media.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace hubsim {
namespace {

void appendBigEndian(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>((value >> 24) & 0xff));
    out.push_back(static_cast<char>((value >> 16) & 0xff));
    out.push_back(static_cast<char>((value >> 8) & 0xff));
    out.push_back(static_cast<char>(value & 0xff));
}

void appendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

void appendChunk(std::string& out, const char* type, std::string_view data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string typed(type, 4);
    typed.append(data);
    out.append(typed);
    auto crc =
        crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    appendBigEndian(out, static_cast<std::uint32_t>(crc));
}

struct Rgb {
    double r, g, b;
};

Rgb hsv(double h, double s, double v) {
    h = std::fmod(h, 360.0) / 60.0;
    int sector = static_cast<int>(h);
    double f = h - sector;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

}  // namespace

std::uint32_t stableHash(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

std::string encodePng(int width, int height, std::string_view rgb) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        throw std::invalid_argument("encodePng: pixel buffer does not match the size");
    }
    // Every scanline starts with filter type 0 (none).
    std::string raw;
    raw.reserve(rgb.size() + static_cast<size_t>(height));
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0');
        raw.append(rgb.substr(static_cast<size_t>(y) * stride, stride));
    }
    uLongf compressedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string compressed(compressedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  6) != Z_OK) {
        throw std::runtime_error("encodePng: compression failed");
    }
    compressed.resize(compressedSize);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header.append({8, 2, 0, 0, 0});  // 8 bits per channel, RGB, deflate, no filter, no interlace
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", {});
    return png;
}

std::string artworkPng(std::string_view key, int width, int height) {
    const std::uint32_t hash = stableHash(key);
    const double hue = hash % 360;
    const Rgb top = hsv(hue, 0.65, 0.95);
    const Rgb bottom = hsv(hue + 140.0, 0.75, 0.45);
    const double cx = width * 0.5, cy = height * 0.5;
    const double radius = std::min(width, height) * 0.32;
    const double hole = radius * 0.18;
    std::string rgb(static_cast<size_t>(width) * height * 3, '\0');
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
        const double t = height > 1 ? static_cast<double>(y) / (height - 1) : 0.0;
        for (int x = 0; x < width; ++x) {
            Rgb c{top.r + (bottom.r - top.r) * t, top.g + (bottom.g - top.g) * t,
                  top.b + (bottom.b - top.b) * t};
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            if (d < radius && d > hole) {
                // A record-like disc with faint grooves.
                const double groove = 0.08 * std::sin(d * 0.9);
                c = {0.08 + groove, 0.08 + groove, 0.09 + groove};
            } else if (d <= hole) {
                c = hsv(hue + 60.0, 0.5, 1.0);
            }
            rgb[i++] = static_cast<char>(
                static_cast<unsigned char>(std::clamp(c.r, 0.0, 1.0) * 255.0 + 0.5));
            rgb[i++] = static_cast<char>(
                static_cast<unsigned char>(std::clamp(c.g, 0.0, 1.0) * 255.0 + 0.5));
            rgb[i++] = static_cast<char>(
                static_cast<unsigned char>(std::clamp(c.b, 0.0, 1.0) * 255.0 + 0.5));
        }
    }
    return encodePng(width, height, rgb);
}

std::string sineWav(std::string_view key, double seconds, int sampleRate) {
    const double frequency = 220.0 + (stableHash(key) % 440);
    const auto samples = static_cast<std::uint32_t>(seconds * sampleRate);
    const std::uint32_t dataSize = samples * 2;
    std::string wav = "RIFF";
    appendLittleEndian(wav, 36 + dataSize, 4);
    wav += "WAVEfmt ";
    appendLittleEndian(wav, 16, 4);
    appendLittleEndian(wav, 1, 2);  // PCM
    appendLittleEndian(wav, 1, 2);  // mono
    appendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate), 4);
    appendLittleEndian(wav, static_cast<std::uint32_t>(sampleRate) * 2, 4);
    appendLittleEndian(wav, 2, 2);
    appendLittleEndian(wav, 16, 2);
    wav += "data";
    appendLittleEndian(wav, dataSize, 4);
    for (std::uint32_t n = 0; n < samples; ++n) {
        // A short fade at both ends avoids clicks.
        const double fade = std::min({1.0, n / 800.0, (samples - n) / 800.0});
        const double value =
            0.3 * fade * std::sin(2.0 * std::numbers::pi * frequency * n / sampleRate);
        appendLittleEndian(wav,
                           static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)), 2);
    }
    return wav;
}

std::string base64(std::string_view bytes) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

}  // namespace hubsim
