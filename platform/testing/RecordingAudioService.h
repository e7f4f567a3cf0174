#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioPlayback.h"

namespace corvix {

/// What the program asked of one audio player, kept after the player itself is gone.
struct RecordedAudioPlayer {
    std::string url;
    bool alive = true;
    bool waitsToMinimizeStalling = false;
    bool playing = false;
    int playRequests = 0;
    int pauseRequests = 0;
    std::optional<double> volume;
    std::vector<double> seeks;
    /// Set by a test: the stream played to its end.
    bool ended = false;
};

/// Audio players that only record; `players` lists every one made, oldest first.
class RecordingAudioService final : public AudioService {
  public:
    std::unique_ptr<AudioPlayer> createPlayer(const std::string& url) override {
        auto record = std::make_shared<RecordedAudioPlayer>();
        record->url = url;
        players.push_back(record);
        return std::make_unique<Player>(std::move(record));
    }

    /// The newest player, or null before the first.
    RecordedAudioPlayer* last() const { return players.empty() ? nullptr : players.back().get(); }
    int liveCount() const {
        int n = 0;
        for (const auto& p : players) {
            n += p->alive ? 1 : 0;
        }
        return n;
    }

    std::vector<std::shared_ptr<RecordedAudioPlayer>> players;

  private:
    class Player final : public AudioPlayer {
      public:
        explicit Player(std::shared_ptr<RecordedAudioPlayer> record) : record_(std::move(record)) {}
        ~Player() override { record_->alive = false; }
        void play() override {
            ++record_->playRequests;
            record_->playing = true;
            record_->ended = false;
        }
        void pause() override {
            ++record_->pauseRequests;
            record_->playing = false;
        }
        void setVolume(double volume) override { record_->volume = volume; }
        void setAutomaticallyWaitsToMinimizeStalling(bool waits) override {
            record_->waitsToMinimizeStalling = waits;
        }
        void seek(double ms) override {
            record_->seeks.push_back(ms);
            record_->ended = false;
        }
        double positionMs() const override {
            return record_->seeks.empty() ? 0 : record_->seeks.back();
        }
        bool hasEnded() const override { return record_->ended; }

      private:
        std::shared_ptr<RecordedAudioPlayer> record_;
    };
};

}  // namespace corvix
