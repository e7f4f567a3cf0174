#include "notch/DotMatrixEqualizerView.h"

#include <random>

#include "app/RuntimeDiagnostics.h"
#include "notch/NotchColors.h"
#include "platform/PlatformServices.h"
#include "platform/ui/Transaction.h"

namespace corvix {

namespace {
constexpr double kDotSize = 2;
constexpr double kColumnPitch = 5;
constexpr double kDotPitch = 4;
constexpr double kLitOpacity = 1.0;
constexpr double kDimOpacity = 0.2;
constexpr double kRestingBottomOpacity = 0.6;

int randomLevel() {
    static std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, DotMatrixEqualizerView::kDotsPerBar - 1)(engine);
}
}  // namespace

DotMatrixEqualizerView::DotMatrixEqualizerView(Rect frame)
    : View(frame), levelSource_(randomLevel) {
    setWantsLayer(true);
    const Color dotColor = notchSecondaryLabelColor();
    for (int i = 0; i < kBarCount; ++i) {
        auto column = std::make_shared<Layer>();
        column->setFrame({kColumnPitch * i, 0, kDotSize, frame.height()});
        column->setBackgroundColor(Color::clear());
        for (int j = 0; j < kDotsPerBar; ++j) {
            auto dot = std::make_shared<Layer>();
            dot->setFrame({0, kDotPitch * j, kDotSize, kDotSize});
            dot->setCornerRadius(kDotSize / 2);
            dot->setBackgroundColor(dotColor);
            column->addSublayer(dot);
        }
        layer()->addSublayer(column);
        barLayers_.push_back(column);
    }
}

DotMatrixEqualizerView::~DotMatrixEqualizerView() {
    if (timer_) {
        timer_->cancel();
        RuntimeDiagnostics::menuBar().gauge("equalizer_timer_active", 0);
    }
}

void DotMatrixEqualizerView::setPlaying(bool playing) {
    if (playing == isPlaying_) {
        return;
    }
    isPlaying_ = playing;
    if (playing) {
        if (timer_) {
            return;
        }
        RunLoop* loop = platformServices().runLoop;
        if (!loop) {
            return;
        }
        timer_ = loop->every(kTick, [weak = lifetime_.weak(), this] {
            if (!weak.expired()) {
                tick();
            }
        });
        RuntimeDiagnostics::menuBar().gauge("equalizer_timer_active", 1);
        return;
    }
    if (timer_) {
        timer_->cancel();
        timer_.reset();
    }
    RuntimeDiagnostics::menuBar().gauge("equalizer_timer_active", 0);
    Transaction::Scope scope;
    Transaction::setAnimationDuration(0.3);
    for (const auto& column : barLayers_) {
        const auto& dots = column->sublayers();
        for (std::size_t j = 0; j < dots.size(); ++j) {
            dots[j]->setOpacity(j == 0 ? kRestingBottomOpacity : kDimOpacity);
        }
    }
}

void DotMatrixEqualizerView::tick() {
    Transaction::Scope scope;
    Transaction::setAnimationDuration(0.12);
    for (const auto& column : barLayers_) {
        const int level = levelSource_ ? levelSource_() : 0;
        const auto& dots = column->sublayers();
        for (std::size_t j = 0; j < dots.size(); ++j) {
            dots[j]->setOpacity(static_cast<int>(j) <= level ? kLitOpacity : kDimOpacity);
        }
    }
}

}  // namespace corvix
