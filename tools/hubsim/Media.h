#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hubsim {

/// Encodes an 8-bit RGB image (rows top to bottom, 3 bytes per pixel) as a PNG file.
std::string encodePng(int width, int height, std::string_view rgb);

/// Cover art for a key: a two-colour gradient with a disc, colours derived from the key.
std::string artworkPng(std::string_view key, int width, int height);

/// A mono 16-bit PCM WAV file holding a sine tone whose pitch is derived from the key.
std::string sineWav(std::string_view key, double seconds, int sampleRate = 22050);

/// Standard Base64 without line breaks.
std::string base64(std::string_view bytes);

/// A stable 32-bit hash (FNV-1a) used to derive colours and pitches.
std::uint32_t stableHash(std::string_view text);

}  // namespace hubsim
