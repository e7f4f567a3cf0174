// Decoding artwork and reducing it to the 128 pixels the menu shows: decoding the whole picture
// and redrawing it, next to the Qt service's scaled decoding, for a large PNG and a JPEG. CPU
// time is the whole process's, since Qt may scale large pictures on worker threads.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>
#include <cmath>
#include <random>
#include <vector>

#include "platform/qt/QtDesktopServices.h"

namespace corvix {
namespace {

/// Smooth colour fields with grain, so the encoders see something like a photograph.
QImage photoLike(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> grain(-6, 6);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            const int r = int(128 + 100 * std::sin(6 * u + 2 * v)) + grain(random);
            const int g = int(128 + 90 * std::cos(5 * v - 3 * u)) + grain(random);
            const int b = int(128 + 80 * std::sin(4 * (u + v))) + grain(random);
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

std::vector<std::uint8_t> encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    return {bytes.begin(), bytes.end()};
}

const std::vector<std::uint8_t>& png2000() {
    static const auto data = encode(photoLike(2000, 2000), "PNG");
    return data;
}

const std::vector<std::uint8_t>& jpeg600() {
    static const auto data = encode(photoLike(600, 600), "JPEG");
    return data;
}

template <bool Scaled>
void reduce(benchmark::State& state, const std::vector<std::uint8_t>& data) {
    QtImageService images;
    for (auto _ : state) {
        ImagePtr image = Scaled ? images.decodeReduced(data, 128)
                                : images.ImageService::decodeReduced(data, 128);
        if (!image) {
            state.SkipWithError("did not decode");
            break;
        }
        benchmark::DoNotOptimize(image);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(data.size()));
}

void BM_Png2000_FullDecodeThenScale(benchmark::State& state) {
    reduce<false>(state, png2000());
}
void BM_Png2000_ScaledDecode(benchmark::State& state) {
    reduce<true>(state, png2000());
}
void BM_Jpeg600_FullDecodeThenScale(benchmark::State& state) {
    reduce<false>(state, jpeg600());
}
void BM_Jpeg600_ScaledDecode(benchmark::State& state) {
    reduce<true>(state, jpeg600());
}

BENCHMARK(BM_Png2000_FullDecodeThenScale)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Png2000_ScaledDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Jpeg600_FullDecodeThenScale)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Jpeg600_ScaledDecode)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
}  // namespace corvix

BENCHMARK_MAIN();
