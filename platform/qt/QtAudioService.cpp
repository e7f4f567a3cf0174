#include "platform/qt/QtAudioService.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QPointer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <optional>

namespace corvix {

void chooseQtMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    }
}

namespace {

class QtAudioPlayer final : public AudioPlayer {
  public:
    QtAudioPlayer(QObject* owner, const std::string& url)
        : player_(new QMediaPlayer(owner)), output_(new QAudioOutput(player_)) {
        player_->setAudioOutput(output_);
        // A seek asked for before the stream could seek is made once it can.
        QObject::connect(player_, &QMediaPlayer::seekableChanged, player_, [this](bool seekable) {
            if (seekable && pendingSeekMs_) {
                player_->setPosition(*pendingSeekMs_);
                pendingSeekMs_.reset();
            }
        });
        QObject::connect(player_, &QMediaPlayer::mediaStatusChanged, player_,
                         [this](QMediaPlayer::MediaStatus status) {
                             if (status == QMediaPlayer::EndOfMedia) {
                                 ended_ = true;
                             }
                         });
        player_->setSource(QUrl(QString::fromStdString(url)));
    }

    ~QtAudioPlayer() override {
        if (player_) {
            player_->stop();
            delete player_;
        }
    }

    void play() override {
        if (player_) {
            ended_ = false;
            player_->play();
        }
    }
    void pause() override {
        if (player_) {
            player_->pause();
        }
    }
    void setVolume(double volume) override {
        if (output_) {
            output_->setVolume(static_cast<float>(std::clamp(volume, 0.0, 1.0)));
        }
    }
    void setAutomaticallyWaitsToMinimizeStalling(bool waits) override {
        // GStreamer's player always fills its buffer before it starts or resumes a network
        // stream, which is what is asked for; it has no switch to turn that off.
        static_cast<void>(waits);
    }
    void seek(double ms) override {
        if (!player_ || !std::isfinite(ms)) {
            return;
        }
        ended_ = false;
        // Held in range before the conversion: a hub may name any number.
        const auto target =
            static_cast<qint64>(std::clamp(ms, 0.0, static_cast<double>(kFurthestAudioSeekMs)));
        if (player_->isSeekable()) {
            player_->setPosition(target);
        } else {
            pendingSeekMs_ = target;
        }
    }
    double positionMs() const override {
        return player_ ? static_cast<double>(player_->position()) : 0;
    }
    bool hasEnded() const override { return ended_; }

  private:
    QPointer<QMediaPlayer> player_;
    QPointer<QAudioOutput> output_;
    std::optional<qint64> pendingSeekMs_;
    bool ended_ = false;
};

}  // namespace

QtAudioService::QtAudioService() : owner_(std::make_unique<QObject>()) {}

QtAudioService::~QtAudioService() = default;

std::unique_ptr<AudioPlayer> QtAudioService::createPlayer(const std::string& url) {
    return std::make_unique<QtAudioPlayer>(owner_.get(), url);
}

}  // namespace corvix
