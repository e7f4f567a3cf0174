#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "platform/AudioPlayback.h"

namespace corvix {

/// Picks Qt's GStreamer media backend unless the user chose one. Call before the application
/// object exists: the backend is chosen once, when the first player is made, and Qt 6.4's FFmpeg
/// backend crashes on a computer without an audio device.
void chooseQtMediaBackend();

/// Audio players on QMediaPlayer and QAudioOutput. Players still alive when the service ends
/// lose their Qt objects with it and go quiet, so none outlives the application object.
class QtAudioService final : public AudioService {
  public:
    QtAudioService();
    ~QtAudioService() override;

    std::unique_ptr<AudioPlayer> createPlayer(const std::string& url) override;

  private:
    /// Parent of every player's Qt objects.
    std::unique_ptr<QObject> owner_;
};

}  // namespace corvix
