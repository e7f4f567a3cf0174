#include "hub/OrbeluneClient.h"

#include <pwd.h>
#include <unistd.h>

#include "platform/AsciiText.h"
#include "platform/Environment.h"
#include "platform/PlatformServices.h"
#include "platform/RegularFile.h"
#include "platform/RunLoop.h"

namespace corvix {

namespace {

constexpr const char* kRequestFailed = "Mac control request failed";

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

/// "status" false (a JSON false or a number equal to 0) in a 2xx answer means the hub refused.
std::optional<Error> hubReportedFailure(const Result<json::value>& parsed) {
    if (!parsed || !parsed.value().is_object()) {
        return std::nullopt;
    }
    const auto& object = parsed.value().get_object();
    const json::value* status = member(object, "status");
    if (!status) {
        return std::nullopt;
    }
    bool failed = false;
    if (status->is_bool()) {
        failed = !status->get_bool();
    } else if (status->is_int64()) {
        failed = status->get_int64() == 0;
    } else if (status->is_uint64()) {
        failed = status->get_uint64() == 0;
    } else if (status->is_double()) {
        failed = status->get_double() == 0;
    }
    if (!failed) {
        return std::nullopt;
    }
    const json::value* message = member(object, "message");
    return programError(
        3, message && message->is_string() ? std::string(message->get_string()) : kRequestFailed);
}

/// Fixed members first, then every payload member over them.
void mergePayload(JsonObject& body, const JsonObject& payload) {
    body["payload"] = payload;
    for (const auto& entry : payload) {
        body[entry.key()] = entry.value();
    }
}

}  // namespace

OrbeluneClient::OrbeluneClient(const Environment& environment, HttpClient& http, RunLoop& loop,
                               ContainerLookup containerLookup)
    : http_(http), loop_(loop), containerLookup_(std::move(containerLookup)) {
    std::string base = environment.get("ORBELUNE_MAC_CONTROL_BASE_URL").value_or(kDefaultBaseURL);
    if (base.empty() || base.back() != '/') {
        base += '/';
    }
    auto parsed = Url::parseAbsolute(base);
    baseURL_ = parsed ? *parsed : *Url::parseAbsolute(std::string(kDefaultBaseURL) + "/");
    tokenFile_ = environment.get("ORBELUNE_MAC_CONTROL_TOKEN_FILE");
    groupIdentifier_ =
        environment.get("ORBELUNE_MAC_CONTROL_APP_GROUP").value_or(kDefaultGroupIdentifier);
    home_ = environment.get("HOME");
}

OrbeluneClient::OrbeluneClient()
    : OrbeluneClient(*platformServices().environment, *platformServices().http,
                     *platformServices().runLoop) {}

std::optional<std::filesystem::path> OrbeluneClient::homeDirectory() const {
    if (home_ && !home_->empty()) {
        return std::filesystem::path(*home_);
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return std::filesystem::path(entry->pw_dir);
    }
    return std::nullopt;
}

std::optional<std::string> OrbeluneClient::readToken(const std::filesystem::path& file) const {
    // Only a regular file, never waiting on a FIFO, and at most a little more than a token.
    auto text = readRegularFile(file, kMaxTokenFileBytes);
    if (!text || !isUtf8(*text)) {
        return std::nullopt;
    }
    std::string_view token = trimmed(*text);
    if (token.empty()) {
        return std::nullopt;
    }
    return std::string(token);
}

Result<std::string> OrbeluneClient::token() const {
    if (tokenFile_) {
        if (auto token = readToken(*tokenFile_)) {
            return *token;
        }
    }
    if (containerLookup_) {
        if (auto container = containerLookup_(groupIdentifier_)) {
            if (auto token = readToken(*container / "mac-control-token")) {
                return *token;
            }
        }
    }
    if (auto home = homeDirectory()) {
        if (auto token = readToken(*home / ".orbelune" / "mac-control" / "token")) {
            return *token;
        }
    }
    return programError(4, "Mac control token is missing");
}

Result<HttpRequest> OrbeluneClient::makeAuthorizedRequest(std::string_view path,
                                                          std::string_view method,
                                                          std::optional<std::string> body,
                                                          std::optional<std::string> accept,
                                                          double timeoutInterval) const {
    auto url = baseURL_.resolve(path);
    if (!url) {
        return programError(1, "Bad Mac control URL");
    }
    HttpRequest request;
    request.url = url->toString();
    request.cachePolicy = CachePolicy::UseProtocolCachePolicy;
    request.method = std::string(method);
    request.timeoutSeconds = timeoutInterval;
    request.followRedirects = false;  // the token header must not travel to a redirect target
    request.maxBodyBytes = kMaxAnswerBytes;
    auto token = this->token();
    if (!token) {
        return token.error();
    }
    request.setHeader("X-Mac-Control-Token", token.value());
    request.setHeader("Content-Type", "application/json");
    if (accept) {
        request.setHeader("Accept", *accept);
        const std::string lower = asciiLowercased(*accept);
        if (lower.find("event-stream") != std::string::npos) {
            request.setHeader("Cache-Control", "no-cache");
        }
    }
    if (method != "GET") {
        request.body = std::move(body);
    }
    return request;
}

TaskHandle OrbeluneClient::perform(std::string_view path, std::string_view method,
                                   std::optional<std::string> body,
                                   std::function<void(Result<CheckedAnswer>)> completion) const {
    Promise<CheckedAnswer> promise(loop_, std::move(completion));
    auto request = makeAuthorizedRequest(path, method, std::move(body));
    if (!request) {
        promise.resolve(request.error());
        return promise.handle();
    }
    request.value().parseJsonBody = true;
    TaskHandle transfer =
        http_.send(std::move(request.value()), [promise](Result<HttpResponse> response) {
            if (!response) {
                promise.resolve(response.error());
                return;
            }
            HttpResponse& answer = response.value();
            if (answer.status < 200 || answer.status > 299) {
                promise.resolve(programError(2, kRequestFailed));
                return;
            }
            // Parsed once, for the failure check and the readers: by the network layer off the
            // main thread where it can, else here.
            Result<json::value> document =
                answer.document ? std::move(*answer.document) : parseJson(answer.body);
            if (auto failure = hubReportedFailure(document)) {
                promise.resolve(*failure);
                return;
            }
            promise.resolve(CheckedAnswer{std::move(answer.body), std::move(document)});
        });
    promise.chain(transfer);
    return promise.handle();
}

TaskHandle OrbeluneClient::send(std::string_view path, std::string_view method,
                                std::optional<std::string> body, BodyCompletion completion) const {
    return perform(path, method, std::move(body),
                   [completion = std::move(completion)](Result<CheckedAnswer> answer) {
                       if (!answer) {
                           completion(answer.error());
                           return;
                       }
                       completion(std::move(answer.value().body));
                   });
}

Result<JsonObject> OrbeluneClient::unwrapEnvelope(std::string_view body) {
    return unwrapEnvelope(parseJson(body));
}

Result<JsonObject> OrbeluneClient::unwrapEnvelope(Result<json::value> parsed) {
    if (!parsed) {
        return parsed.error();
    }
    if (!parsed.value().is_object()) {
        return JsonObject();
    }
    JsonObject& top = parsed.value().get_object();
    if (auto* data = top.if_contains("data"); data && data->is_object()) {
        return JsonObject(std::move(data->get_object()));
    }
    return JsonObject(std::move(top));
}

TaskHandle OrbeluneClient::fetchState(StateCompletion completion) const {
    return perform("state", "GET", std::nullopt,
                   [completion = std::move(completion)](Result<CheckedAnswer> answer) {
                       if (!answer) {
                           completion(answer.error());
                           return;
                       }
                       completion(unwrapEnvelope(std::move(answer.value().document)));
                   });
}

TaskHandle OrbeluneClient::post(std::string path, const JsonObject& body, Done done) const {
    return send(path, "POST", toJsonText(body), [done = std::move(done)](Result<std::string> r) {
        if (!r) {
            done(r.error());
            return;
        }
        done(Result<void>());
    });
}

TaskHandle OrbeluneClient::fetchList(std::string path, std::string_view memberName,
                                     ListCompletion done) const {
    return perform(
        path, "GET", std::nullopt,
        [done = std::move(done), name = std::string(memberName)](Result<CheckedAnswer> answer) {
            if (!answer) {
                done(answer.error());
                return;
            }
            auto object = unwrapEnvelope(std::move(answer.value().document));
            if (!object) {
                done(object.error());
                return;
            }
            std::vector<JsonObject> list;
            for (const JsonObject* element : array(object.value(), name)) {
                list.push_back(*element);
            }
            done(std::move(list));
        });
}

TaskHandle OrbeluneClient::runItem(std::string_view id, std::optional<bool> desiredState,
                                   Done done) const {
    JsonObject body{{"source", kSource}, {"confirm", true}};
    if (desiredState) {
        body["desiredState"] = *desiredState;
    }
    return post("items/" + percentEncodePathSegment(id) + "/run", body, std::move(done));
}

TaskHandle OrbeluneClient::runCommand(std::string_view deviceId, std::string_view command,
                                      const JsonObject& payload, Done done) const {
    JsonObject body{{"source", kSource}};
    mergePayload(body, payload);
    return post("devices/" + percentEncodePathSegment(deviceId) + "/commands/" +
                    percentEncodePathSegment(command) + "/run",
                body, std::move(done));
}

TaskHandle OrbeluneClient::runMusicCommand(std::string_view action, const JsonObject& player,
                                           const JsonObject& payload, Done done) const {
    JsonObject body{{"source", kSource},
                    {"action", action},
                    {"serviceKey", string(player, "serviceKey")},
                    {"targetType", string(player, "targetType")},
                    {"targetId", string(player, "targetId")}};
    mergePayload(body, payload);
    return post("music/command", body, std::move(done));
}

TaskHandle OrbeluneClient::runMusicTransfer(const JsonObject& source, const JsonObject& target,
                                            Done done) const {
    JsonObject body{{"requestSource", kSource},
                    {"sourcePlayerId", string(source, "id")},
                    {"targetPlayerId", string(target, "id")},
                    {"source", source},
                    {"target", target}};
    return post("music/transfer", body, std::move(done));
}

TaskHandle OrbeluneClient::shuffleListenLater(const JsonObject& target, Done done) const {
    JsonObject body{
        {"source", kSource}, {"targetPlayerId", string(target, "id")}, {"target", target}};
    return post("music/listen-later/shuffle", body, std::move(done));
}

TaskHandle OrbeluneClient::fetchMusicPlaylists(ListCompletion completion) const {
    return fetchList("music/playlists", "playlists", std::move(completion));
}

TaskHandle OrbeluneClient::playMusicPlaylist(const JsonObject& playlist, const JsonObject& target,
                                             Done done) const {
    JsonObject body{{"source", kSource}, {"playlist", playlist}, {"target", target}};
    return post("music/playlists/play", body, std::move(done));
}

TaskHandle OrbeluneClient::fetchProgramChoices(ListCompletion completion) const {
    return fetchList("program-choices", "programs", std::move(completion));
}

TaskHandle OrbeluneClient::saveProgramChoices(const std::vector<std::string>& programIds,
                                              Done done) const {
    json::array ids;
    for (const auto& id : programIds) {
        ids.emplace_back(id);
    }
    return post("program-choices", JsonObject{{"programIds", std::move(ids)}}, std::move(done));
}

TaskHandle OrbeluneClient::fetchDeviceApps(std::string_view deviceId,
                                           ListCompletion completion) const {
    return fetchList("devices/" + percentEncodePathSegment(deviceId) + "/apps", "apps",
                     std::move(completion));
}

TaskHandle OrbeluneClient::launchDeviceApp(std::string_view deviceId, std::string_view appId,
                                           Done done) const {
    JsonObject body{{"source", kSource}, {"appId", appId}};
    return post("devices/" + percentEncodePathSegment(deviceId) + "/apps/" +
                    percentEncodePathSegment(appId) + "/launch",
                body, std::move(done));
}

}  // namespace corvix
