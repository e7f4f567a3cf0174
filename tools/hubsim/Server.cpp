#include "Server.h"

#include "JsonUtil.h"
#include "Media.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string_view>

namespace hubsim {
namespace json = boost::json;

namespace {

constexpr std::string_view kApiPrefix = "/app/os/mac-control/";
constexpr const char* kTokenHeader = "X-Mac-Control-Token";
/// Samples per second of the library stream's tone.
constexpr int kStreamSampleRate = 8000;

/// Only SO_REUSEADDR: with httplib's default SO_REUSEPORT a second simulator would silently share
/// the port with the first instead of failing to bind.
void exclusiveSocketOptions(socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string> splitSegments(std::string_view path) {
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find('/', start);
        const auto piece = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        segments.push_back(percentDecode(piece));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return segments;
}

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string deepDocument(int levels) {
    std::string out = R"({"status":true,"data":{"rooms":)";
    out.append(static_cast<size_t>(levels), '[');
    out.append(static_cast<size_t>(levels), ']');
    out += "}}";
    return out;
}

void sendJson(httplib::Response& res, int status, const json::value& body) {
    res.status = status;
    res.set_content(json::serialize(body), "application/json");
}

void sendReply(httplib::Response& res, const Reply& reply) {
    json::object body{{"status", reply.ok}};
    if (!reply.message.empty()) {
        body["message"] = reply.message;
    }
    if (!reply.data.empty()) {
        body["data"] = reply.data;
    }
    sendJson(res, reply.httpStatus, body);
}

/// The request's JSON body when it parses (nested no deeper than the hub allows) and is of
/// `kind`; otherwise answers 400 with `message` and gives none.
std::optional<json::value> jsonBody(const httplib::Request& req, httplib::Response& res,
                                    json::kind kind, std::string_view message) {
    json::parse_options limits;
    limits.max_depth = 64;
    boost::system::error_code ec;
    json::value body = json::parse(req.body, ec, {}, limits);
    if (ec || body.kind() != kind) {
        sendJson(res, 400, json::object{{"status", false}, {"message", message}});
        return std::nullopt;
    }
    return body;
}

std::string dashboardPage(const json::object& state, const std::string& apiBase) {
    std::ostringstream html;
    html << "<!doctype html><html><head><meta charset=\"utf-8\">"
            "<meta http-equiv=\"refresh\" content=\"5\"><title>Orbelune OS</title>"
            "<style>body{font:14px system-ui,sans-serif;margin:2em;background:#f6f5f3}"
            "h2{margin-top:1.5em}td,th{padding:2px 12px;text-align:left}"
            ".on{color:#1a7f37}.off{color:#999}</style></head><body>"
            "<h1>Orbelune OS <small>(simulated hub)</small></h1>"
            "<p>API base: <code>"
         << htmlEscape(apiBase) << "</code></p>";
    if (const auto* rooms = state.if_contains("rooms"); rooms && rooms->is_array()) {
        for (const auto& room : rooms->get_array()) {
            const auto& r = room.as_object();
            html << "<h2>" << htmlEscape(text(r.if_contains("name"))) << "</h2><table>";
            if (const auto* devices = r.if_contains("devices"); devices && devices->is_array()) {
                for (const auto& d : devices->get_array()) {
                    const auto& device = d.as_object();
                    std::string power = "";
                    if (const auto* p = object(device.if_contains("power"))) {
                        const auto* isOn = p->if_contains("isOn");
                        power = isOn && isOn->is_bool() && isOn->get_bool() ? "on" : "off";
                    }
                    std::string status;
                    if (const auto* s = object(device.if_contains("state"))) {
                        status = text(s->if_contains("status"));
                    }
                    html << "<tr><td>" << htmlEscape(text(device.if_contains("name")))
                         << "</td><td>" << htmlEscape(text(device.if_contains("kind")))
                         << "</td><td class=\"" << power << "\">" << power << "</td><td>"
                         << htmlEscape(status) << "</td></tr>";
                }
            }
            html << "</table>";
        }
    }
    if (const auto* music = object(state.if_contains("musicPlayer"))) {
        if (const auto* active = object(music->if_contains("activePlayer"))) {
            html << "<h2>Music</h2><p>" << htmlEscape(text(active->if_contains("label"))) << ": "
                 << htmlEscape(text(active->if_contains("title"))) << " &mdash; "
                 << htmlEscape(text(active->if_contains("artist"))) << " ("
                 << htmlEscape(text(active->if_contains("playback"))) << ")</p>";
            const std::string artwork = text(active->if_contains("artworkUrl"));
            if (!artwork.empty()) {
                html << "<img src=\"" << htmlEscape(artwork) << "\" width=\"160\">";
            }
        }
    }
    html << "</body></html>";
    return html.str();
}

}  // namespace

// The httplib server, with access to its listening socket to widen the accept backlog.
struct Server::Http : httplib::Server {
    int listeningSocket() const { return svr_sock_; }
};

struct Server::StreamState {
    std::uint64_t seenRevision = 0;
    std::uint64_t dropGeneration = 0;
    std::chrono::steady_clock::time_point openedAt;
    std::chrono::steady_clock::time_point lastWrite;
    bool greeted = false;
};

Server::Server(ServerOptions options)
    : options_(std::move(options)), faults_(options_.faults), random_(options_.randomSeed) {
    HomeCatalogue home =
        options_.home ? *options_.home
        : options_.scaleRooms > 0
            ? scaledHome(options_.scaleRooms, std::max(options_.scaleDevicesPerRoom, 1))
            : demoHome();
    model_ =
        std::make_unique<HomeModel>(std::move(home), nowMs(), options_.scaleRooms > 0 ? 30 : 0);
}

Server::~Server() {
    stop();
}

std::int64_t Server::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string Server::origin() const {
    return "http://" + options_.host + ":" + std::to_string(port_);
}

std::string Server::baseUrl() const {
    return origin() + std::string(kApiPrefix);
}

bool Server::start() {
    if (running_) {
        return true;
    }
    http_ = std::make_unique<Http>();
    http_->set_socket_options(exclusiveSocketOptions);
    const size_t threads = std::max<size_t>(options_.threadCount, 8);
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // Idle keep-alive connections hold a worker until this runs out, which also delays stop().
    http_->set_keep_alive_timeout(1);
    http_->set_tcp_nodelay(true);
    installRoutes();

    if (options_.port == 0) {
        port_ = http_->bind_to_any_port(options_.host);
        if (port_ <= 0) {
            lastError_ = "cannot bind a free port on " + options_.host;
            http_.reset();
            return false;
        }
    } else {
        if (!http_->bind_to_port(options_.host, options_.port)) {
            lastError_ = "cannot bind " + options_.host + ":" + std::to_string(options_.port) +
                         " (is another hub or simulator running?)";
            http_.reset();
            return false;
        }
        port_ = options_.port;
    }
    // httplib listens with a backlog of 5; a burst of connections would then wait for SYN retries.
    ::listen(http_->listeningSocket(), SOMAXCONN);

    {
        std::lock_guard lock(streamMutex_);
        stopping_ = false;
    }
    running_ = true;
    listener_ = std::thread([this] { http_->listen_after_bind(); });
    // httplib's stop() does nothing until the accept loop runs, so a stop() right after start()
    // would leave the listener blocked in accept for good.
    while (!http_->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ticker_ = std::thread([this] { tickLoop(); });
    return true;
}

void Server::stop() {
    if (!running_.exchange(false)) {
        return;
    }
    {
        std::lock_guard lock(streamMutex_);
        stopping_ = true;
    }
    streamChanged_.notify_all();
    http_->stop();
    if (listener_.joinable()) {
        listener_.join();
    }
    if (ticker_.joinable()) {
        ticker_.join();
    }
    http_.reset();
}

void Server::tickLoop() {
    std::unique_lock lock(streamMutex_);
    while (!stopping_) {
        streamChanged_.wait_for(lock, std::chrono::milliseconds(500));
        if (stopping_) {
            break;
        }
        lock.unlock();
        bool changed = false;
        {
            std::lock_guard modelLock(modelMutex_);
            changed = model_->music().advance(nowMs());
        }
        if (changed) {
            announce("music");
        }
        lock.lock();
    }
}

void Server::announce(const std::string& reason) {
    {
        std::lock_guard lock(streamMutex_);
        ++revision_;
        lastReason_ = reason;
    }
    streamChanged_.notify_all();
}

std::uint64_t Server::revision() const {
    std::lock_guard lock(streamMutex_);
    return revision_;
}

json::object Server::state() {
    std::lock_guard lock(modelMutex_);
    return model_->state(nowMs(), origin());
}

void Server::mutate(const std::function<void(HomeModel&)>& change, const std::string& reason) {
    {
        std::lock_guard lock(modelMutex_);
        change(*model_);
    }
    announce(reason);
}

void Server::inspect(const std::function<void(HomeModel&)>& look) {
    std::lock_guard lock(modelMutex_);
    look(*model_);
}

Faults Server::faults() const {
    std::lock_guard lock(faultMutex_);
    return faults_;
}

void Server::setFaults(const Faults& faults) {
    {
        std::lock_guard lock(faultMutex_);
        faults_ = faults;
    }
    // Streams re-read the drop time.
    streamChanged_.notify_all();
}

bool Server::roll(double rate) {
    if (rate <= 0) {
        return false;
    }
    if (rate >= 1) {
        return true;
    }
    std::lock_guard lock(faultMutex_);
    return std::uniform_real_distribution<double>(0, 1)(random_) < rate;
}

std::vector<RecordedRequest> Server::requests() const {
    std::lock_guard lock(logMutex_);
    return requests_;
}

void Server::clearRequests() {
    std::lock_guard lock(logMutex_);
    requests_.clear();
}

size_t Server::openStreams() const {
    std::lock_guard lock(streamMutex_);
    return openStreams_;
}

std::vector<std::chrono::steady_clock::time_point> Server::streamOpenTimes() const {
    std::lock_guard lock(streamMutex_);
    return streamOpenTimes_;
}

void Server::dropStreams() {
    {
        std::lock_guard lock(streamMutex_);
        ++dropGeneration_;
    }
    streamChanged_.notify_all();
}

void Server::record(const httplib::Request& req, int status) {
    RecordedRequest entry;
    entry.method = req.method;
    entry.target = req.target;
    std::string_view path(req.target);
    path = path.substr(0, path.find('?'));
    if (path.substr(0, kApiPrefix.size()) == kApiPrefix) {
        entry.segments = splitSegments(path.substr(kApiPrefix.size()));
    }
    for (const auto& [name, value] : req.headers) {
        std::string lowerName = name;
        std::transform(lowerName.begin(), lowerName.end(), lowerName.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        entry.headers[lowerName] = value;
    }
    entry.body = req.body;
    // httplib fills in 200 only when it writes an answer whose status was left unset.
    entry.status = status < 0 ? 200 : status;
    std::lock_guard lock(logMutex_);
    if (requests_.size() >= 4096) {
        requests_.erase(requests_.begin(), requests_.begin() + 1024);
    }
    requests_.push_back(std::move(entry));
}

void Server::installRoutes() {
    auto& http = *http_;

    if (options_.log) {
        http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            options_.log(req.method + " " + req.target + " -> " + std::to_string(res.status));
        });
    }

    // Faults and the token check come before any route.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        const Faults f = faults();
        if (f.latencyMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(f.latencyMs));
        }
        if (std::string_view(req.target).substr(0, kApiPrefix.size()) != kApiPrefix) {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        if (req.get_header_value(kTokenHeader) != options_.token || options_.token.empty()) {
            sendJson(res, 401,
                     json::object{{"status", false},
                                  {"message", "Missing or wrong X-Mac-Control-Token"}});
            record(req, res.status);
            return httplib::Server::HandlerResponse::Handled;
        }
        if (roll(f.failRate)) {
            sendJson(res, 500,
                     json::object{{"status", false}, {"message", "Simulated server error"}});
            record(req, res.status);
            return httplib::Server::HandlerResponse::Handled;
        }
        const std::string_view route =
            std::string_view(req.path).substr(std::min(kApiPrefix.size(), req.path.size()));
        for (const auto& refused : f.refusedRoutes) {
            if (!refused.empty() && route.starts_with(refused)) {
                sendJson(res, 200,
                         json::object{{"status", false},
                                      {"message", "Simulated failure of " + refused}});
                record(req, res.status);
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        const bool isStream = req.target.find("/state/stream") != std::string::npos;
        if (!isStream && roll(f.statusFalseRate)) {
            sendJson(res, 200,
                     json::object{{"status", false},
                                  {"message", "Simulated hub failure: the hub is busy"}});
            record(req, res.status);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    auto api = [this](const httplib::Request& req, httplib::Response& res) {
        // Recorded before the answer goes out, so a client that has its answer finds it logged.
        struct RecordOnExit {
            Server& server;
            const httplib::Request& req;
            httplib::Response& res;
            ~RecordOnExit() { server.record(req, res.status); }
        } recordOnExit{*this, req, res};
        std::string_view path(req.target);
        path = path.substr(0, path.find('?'));
        const auto s = splitSegments(path.substr(kApiPrefix.size()));
        const bool get = req.method == "GET";
        const bool post = req.method == "POST";
        const std::string origin = this->origin();

        json::object body;
        if (post) {
            const std::string contentType = req.get_header_value("Content-Type");
            if (contentType.rfind("application/json", 0) != 0) {
                sendJson(res, 415,
                         json::object{{"status", false},
                                      {"message", "Commands must be sent as application/json"}});
                return;
            }
            std::optional<json::value> parsed =
                jsonBody(req, res, json::kind::object, "The body must be a JSON object");
            if (!parsed) {
                return;
            }
            body = std::move(parsed->get_object());
        }

        auto route = [&](std::initializer_list<const char*> pattern) {
            if (s.size() != pattern.size()) {
                return false;
            }
            size_t i = 0;
            for (const char* part : pattern) {
                if (std::string_view(part) != "*" && s[i] != part) {
                    return false;
                }
                ++i;
            }
            return true;
        };
        auto respond = [&](const Reply& reply, const std::string& reason) {
            sendReply(res, reply);
            if (reply.ok && reply.changed) {
                announce(reason);
            }
        };
        auto locked = [&](auto&& work) {
            std::lock_guard lock(modelMutex_);
            return work(*model_);
        };

        if (route({"state"}) && get) {
            switch (faults().malformedState) {
                case MalformedState::NotJson:
                    res.set_content("<html><body>Orbelune OS is starting</body></html>{",
                                    "application/json");
                    return;
                case MalformedState::NotObject:
                    res.set_content(R"([{"status":true},{"data":{}}])", "application/json");
                    return;
                case MalformedState::Deep:
                    res.set_content(deepDocument(100000), "application/json");
                    return;
                case MalformedState::None:
                    break;
            }
            json::object state = locked([&](HomeModel& m) { return m.state(nowMs(), origin); });
            sendJson(res, 200, json::object{{"status", true}, {"data", std::move(state)}});
            return;
        }
        if (route({"state", "stream"}) && get) {
            auto stream = std::make_shared<StreamState>();
            {
                std::lock_guard lock(streamMutex_);
                stream->seenRevision = revision_;
                stream->dropGeneration = dropGeneration_;
                stream->openedAt = stream->lastWrite = std::chrono::steady_clock::now();
                ++openStreams_;
                streamOpenTimes_.push_back(stream->openedAt);
            }
            res.set_header("Cache-Control", "no-cache");
            res.set_chunked_content_provider(
                "text/event-stream",
                [this, stream](size_t, httplib::DataSink& sink) {
                    if (!stream->greeted) {
                        stream->greeted = true;
                        const std::string hello = ": connected\n\n";
                        return sink.write(hello.data(), hello.size());
                    }
                    const Faults f = faults();
                    const auto now = std::chrono::steady_clock::now();
                    auto wakeAt = std::min(stream->lastWrite + options_.keepAliveInterval,
                                           now + std::chrono::milliseconds(250));
                    std::chrono::steady_clock::time_point dropAt{};
                    if (f.dropStreamsAfterSeconds > 0) {
                        dropAt = stream->openedAt +
                                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     std::chrono::duration<double>(f.dropStreamsAfterSeconds));
                        wakeAt = std::min(wakeAt, dropAt);
                    }
                    std::string message;
                    bool end = false;
                    {
                        std::unique_lock lock(streamMutex_);
                        streamChanged_.wait_until(lock, wakeAt, [&] {
                            return stopping_ || revision_ != stream->seenRevision ||
                                   dropGeneration_ != stream->dropGeneration;
                        });
                        const auto after = std::chrono::steady_clock::now();
                        if (stopping_ || dropGeneration_ != stream->dropGeneration ||
                            (dropAt != std::chrono::steady_clock::time_point{} &&
                             after >= dropAt)) {
                            end = true;
                        } else if (revision_ != stream->seenRevision) {
                            stream->seenRevision = revision_;
                            message = "event: state\ndata: " +
                                      json::serialize(json::object{{"revision", revision_},
                                                                   {"reason", lastReason_}}) +
                                      "\n\n";
                        } else if (after >= stream->lastWrite + options_.keepAliveInterval) {
                            message = ": keepalive\n\n";
                        }
                    }
                    if (end) {
                        sink.done();
                        return true;
                    }
                    if (message.empty()) {
                        return true;
                    }
                    stream->lastWrite = std::chrono::steady_clock::now();
                    return sink.write(message.data(), message.size());
                },
                [this](bool) {
                    std::lock_guard lock(streamMutex_);
                    --openStreams_;
                });
            return;
        }
        if (route({"items", "*", "run"}) && post) {
            return respond(locked([&](HomeModel& m) { return m.runItem(s[1], body, nowMs()); }),
                           "item");
        }
        if (route({"devices", "*", "commands", "*", "run"}) && post) {
            return respond(
                locked([&](HomeModel& m) { return m.runCommand(s[1], s[3], body, nowMs()); }),
                "device");
        }
        if (route({"devices", "*", "apps"}) && get) {
            return respond(locked([&](HomeModel& m) { return m.deviceApps(s[1], origin); }), "");
        }
        if (route({"devices", "*", "apps", "*", "launch"}) && post) {
            return respond(locked([&](HomeModel& m) { return m.launchApp(s[1], s[3], body); }),
                           "device");
        }
        if (route({"music", "command"}) && post) {
            return respond(locked([&](HomeModel& m) { return m.music().command(body, nowMs()); }),
                           "music");
        }
        if (route({"music", "transfer"}) && post) {
            return respond(locked([&](HomeModel& m) { return m.music().transfer(body, nowMs()); }),
                           "music");
        }
        if (route({"music", "listen-later", "shuffle"}) && post) {
            return respond(
                locked([&](HomeModel& m) { return m.music().shuffleListenLater(body, nowMs()); }),
                "music");
        }
        if (route({"music", "playlists"}) && get) {
            json::array playlists = locked([](HomeModel& m) { return m.music().playlists(); });
            sendJson(
                res, 200,
                json::object{{"status", true}, {"data", {{"playlists", std::move(playlists)}}}});
            return;
        }
        if (route({"music", "playlists", "play"}) && post) {
            return respond(
                locked([&](HomeModel& m) { return m.music().playPlaylist(body, nowMs()); }),
                "music");
        }
        if (route({"program-choices"}) && get) {
            json::array programs = locked([](HomeModel& m) { return m.programChoices(); });
            sendJson(res, 200,
                     json::object{{"status", true}, {"data", {{"programs", std::move(programs)}}}});
            return;
        }
        if (route({"program-choices"}) && post) {
            return respond(locked([&](HomeModel& m) { return m.saveProgramChoices(body); }),
                           "programs");
        }
        sendJson(res, 404,
                 json::object{
                     {"status", false},
                     {"message", req.method + " " + std::string(path) + " is not a hub route"}});
    };
    const std::string apiPattern = std::string(kApiPrefix) + ".*";
    http.Get(apiPattern, api);
    http.Post(apiPattern, api);

    // Apps installed or removed on a device: its list is replaced. The state document does not
    // change, so nothing is announced; the program sees the new list when it asks again.
    // Registered before the merge route below, which would take this path too.
    http.Post(R"(/hubsim/devices/(.+)/apps)",
              [this](const httplib::Request& req, httplib::Response& res) {
                  const std::optional<json::value> list = jsonBody(
                      req, res, json::kind::array, "The body must be a JSON array of apps");
                  if (!list) {
                      return;
                  }
                  const std::string id = percentDecode(req.matches[1].str());
                  Reply reply;
                  {
                      std::lock_guard lock(modelMutex_);
                      reply = model_->setDeviceApps(id, list->get_array());
                  }
                  sendReply(res, reply);
              });

    // A change made at the device itself (a wall switch, another app): no token, outside the
    // API, announced on the streams like any change.
    http.Post(
        R"(/hubsim/devices/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            const std::optional<json::value> patch =
                jsonBody(req, res, json::kind::object, "The body must be a JSON object to merge");
            if (!patch) {
                return;
            }
            const std::string id = percentDecode(req.matches[1].str());
            Reply reply;
            {
                std::lock_guard lock(modelMutex_);
                reply = model_->mergeDevice(id, patch->get_object());
            }
            sendReply(res, reply);
            if (reply.ok) {
                announce("external");
            }
        });

    auto dashboard = [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(dashboardPage(state(), baseUrl()), "text/html; charset=utf-8");
    };
    http.Get("/os", dashboard);
    http.Get("/", dashboard);

    // Media answers are logged like the API's, so a test sees what was fetched.
    auto recorded = [this](httplib::Server::Handler handler) {
        return [this, handler = std::move(handler)](const httplib::Request& req,
                                                    httplib::Response& res) {
            handler(req, res);
            record(req, res.status);
        };
    };
    http.Get(R"(/media-services/artwork/([A-Za-z0-9._-]+)\.png)",
             recorded([](const httplib::Request& req, httplib::Response& res) {
                 int width = 600, height = 600;
                 if (req.has_param("size")) {
                     std::sscanf(req.get_param_value("size").c_str(), "%dx%d", &width, &height);
                 }
                 width = std::clamp(width, 1, 2000);
                 height = std::clamp(height, 1, 2000);
                 res.set_content(artworkPng(req.matches[1].str(), width, height), "image/png");
             }));
    http.Get(R"(/media-services/app-icons/([A-Za-z0-9._-]+)\.png)",
             recorded([this](const httplib::Request& req, httplib::Response& res) {
                 if (const int delay = faults().iconLatencyMs; delay > 0) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                 }
                 const std::string name = req.matches[1].str();
                 if (name == "garbled") {
                     // Answered as a success, but no image reader takes it.
                     res.set_content("PNG? not really", "image/png");
                     return;
                 }
                 if (name == "missing") {
                     res.status = 404;
                     res.set_content("<html><body>No such icon</body></html>", "text/html");
                     return;
                 }
                 res.set_content(artworkPng("app-" + name, 400, 240), "image/png");
             }));
    http.Get(R"(/media-services/library/stream/([A-Za-z0-9._-]+))",
             recorded([this](const httplib::Request& req, httplib::Response& res) {
                 const std::string id = req.matches[1].str();
                 std::int64_t durationMs = 0;
                 {
                     std::lock_guard lock(modelMutex_);
                     if (const Track* t = model_->music().track(id)) {
                         durationMs = t->durationMs;
                     }
                 }
                 if (durationMs <= 0) {
                     res.status = 404;
                     res.set_content("unknown track", "text/plain");
                     return;
                 }
                 // As long as the track says, so a seek lands where the timeline shows; a low
                 // rate keeps a five-minute tone near 5 MB. Ranges are answered by the server.
                 res.set_header("Cache-Control", "no-cache");
                 res.set_content(sineWav(id, durationMs / 1000.0, kStreamSampleRate), "audio/wav");
             }));
}

}  // namespace hubsim
