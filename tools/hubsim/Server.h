#pragma once

#include "HomeModel.h"

#include <boost/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
struct Request;
}

namespace hubsim {

enum class MalformedState { None, NotJson, NotObject, Deep };

/// Faults for reliability tests; all off by default.
struct Faults {
    /// Delay before every answer.
    int latencyMs = 0;
    /// Delay before app icons alone, so they can arrive after the user left the app grid.
    int iconLatencyMs = 0;
    /// Share of API requests answered with HTTP 500 (0 to 1).
    double failRate = 0;
    /// Share of API requests (streams excepted) answered 200 with "status": false and a message.
    double statusFalseRate = 0;
    /// Event streams are ended this long after they opened; 0 keeps them open.
    double dropStreamsAfterSeconds = 0;
    /// API routes (paths after the API prefix, matched by their start, e.g. "music/") answered
    /// 200 with "status": false, so one feature can fail while "state" keeps working.
    std::vector<std::string> refusedRoutes;
    /// What GET "state" answers instead of the document.
    MalformedState malformedState = MalformedState::None;
};

struct ServerOptions {
    std::string host = "127.0.0.1";
    /// 0 picks a free port.
    int port = 0;
    std::string token;
    /// The home to serve instead of the demo home (see `loadHome`).
    std::optional<HomeCatalogue> home;
    /// A generated home of this many rooms and devices per room instead of the demo home.
    int scaleRooms = 0;
    int scaleDevicesPerRoom = 0;
    Faults faults;
    /// Comment lines keep idle event streams alive this often.
    std::chrono::milliseconds keepAliveInterval{15000};
    /// Every open event stream holds one worker thread.
    size_t threadCount = 96;
    unsigned randomSeed = 1;
    /// Receives one line per answered request when set.
    std::function<void(const std::string&)> log;
};

/// One request as the simulator received it.
struct RecordedRequest {
    std::string method;
    /// The raw request target, still percent-encoded.
    std::string target;
    /// The decoded path segments after the API prefix (empty for other paths).
    std::vector<std::string> segments;
    /// Header names in lower case.
    std::map<std::string, std::string> headers;
    std::string body;
    int status = 0;
};

/// The hub simulator: serves the mac-control API, the event stream, the dashboard, artwork and
/// the library stream on one port.
class Server {
  public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    /// Binds and starts serving; false (see lastError) when the port cannot be had.
    bool start();
    /// Ends the streams and stops serving; idempotent.
    void stop();

    int port() const { return port_; }
    /// "http://host:port".
    std::string origin() const;
    /// The API base, ending in "/".
    std::string baseUrl() const;
    const std::string& token() const { return options_.token; }
    std::string lastError() const { return lastError_; }

    /// The state document as GET "state" would serve it (inside the envelope's "data").
    boost::json::object state();
    /// Counts state changes; every change is announced on the streams.
    std::uint64_t revision() const;
    /// Changes the home from outside (as a change made on the hub itself) and announces it.
    void mutate(const std::function<void(HomeModel&)>& change,
                const std::string& reason = "external");
    /// Reads the home without announcing anything.
    void inspect(const std::function<void(HomeModel&)>& look);

    Faults faults() const;
    void setFaults(const Faults& faults);

    /// The API's requests and the media answers (artwork, icons, the library stream), oldest
    /// first.
    std::vector<RecordedRequest> requests() const;
    void clearRequests();
    /// Event streams open right now, and every stream opened so far with the time it opened.
    size_t openStreams() const;
    std::vector<std::chrono::steady_clock::time_point> streamOpenTimes() const;
    /// Ends every open event stream now.
    void dropStreams();

  private:
    struct Http;
    struct StreamState;

    void installRoutes();
    void record(const httplib::Request& req, int status);
    void announce(const std::string& reason);
    void tickLoop();
    bool roll(double rate);
    std::int64_t nowMs() const;

    ServerOptions options_;
    std::unique_ptr<Http> http_;
    std::thread listener_;
    std::thread ticker_;
    int port_ = 0;
    std::string lastError_;
    std::atomic<bool> running_{false};

    mutable std::mutex modelMutex_;
    std::unique_ptr<HomeModel> model_;

    mutable std::mutex streamMutex_;
    std::condition_variable streamChanged_;
    std::uint64_t revision_ = 0;
    std::string lastReason_;
    std::uint64_t dropGeneration_ = 0;
    bool stopping_ = false;
    size_t openStreams_ = 0;
    std::vector<std::chrono::steady_clock::time_point> streamOpenTimes_;

    mutable std::mutex faultMutex_;
    Faults faults_;
    std::mt19937 random_;

    mutable std::mutex logMutex_;
    std::vector<RecordedRequest> requests_;
};

}  // namespace hubsim
