#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/Json.h"
#include "platform/Result.h"
#include "platform/Task.h"
#include "platform/Url.h"
#include "state/StateAccessors.h"

namespace corvix {

class Environment;
class RunLoop;

/// The one client of the hub's mac-control API: where it is, the token, authorised requests, the
/// answer check, the state document and every operation. Immutable after construction; the
/// token is looked up again for every request.
class OrbeluneClient {
  public:
    static constexpr const char* kDefaultBaseURL = "http://127.0.0.1:8080/app/os/mac-control";
    static constexpr const char* kDefaultGroupIdentifier = "group.os.orbelune.mac-control";
    static constexpr const char* kSource = "native-menubar";
    /// A token file longer than this is not a token (and is never read whole).
    static constexpr std::size_t kMaxTokenFileBytes = 4096;
    /// Largest answer read from the hub. The state of a very large home is about 1 MB; an
    /// answer many times that is a fault, and is cut off before it costs memory.
    static constexpr std::size_t kMaxAnswerBytes = 16u << 20;

    using Done = std::function<void(Result<void>)>;
    using BodyCompletion = std::function<void(Result<std::string>)>;
    using StateCompletion = std::function<void(Result<JsonObject>)>;
    using ListCompletion = std::function<void(Result<std::vector<JsonObject>>)>;
    /// Finds the shared container of an app group; this platform has none by default.
    using ContainerLookup = std::function<std::optional<std::filesystem::path>(std::string_view)>;

    /// Reads the three client variables from `environment`.
    OrbeluneClient(const Environment& environment, HttpClient& http, RunLoop& loop,
                   ContainerLookup containerLookup = nullptr);
    /// The same with the installed platform services.
    OrbeluneClient();

    const Url& baseURL() const { return baseURL_; }
    const std::optional<std::string>& tokenFile() const { return tokenFile_; }
    const std::string& groupIdentifier() const { return groupIdentifier_; }

    /// The access token, or error 4.
    Result<std::string> token() const;
    /// One authorised request for `path` (relative to the base, already percent-encoded).
    Result<HttpRequest> makeAuthorizedRequest(std::string_view path, std::string_view method,
                                              std::optional<std::string> body = std::nullopt,
                                              std::optional<std::string> accept = std::nullopt,
                                              double timeoutInterval = 60) const;
    /// Sends a request and checks the answer; completes with the body bytes.
    TaskHandle send(std::string_view path, std::string_view method, std::optional<std::string> body,
                    BodyCompletion completion) const;
    /// The state document, with the "data" envelope removed.
    TaskHandle fetchState(StateCompletion completion) const;

    TaskHandle runItem(std::string_view id, std::optional<bool> desiredState, Done done) const;
    TaskHandle runCommand(std::string_view deviceId, std::string_view command,
                          const JsonObject& payload, Done done) const;
    TaskHandle runMusicCommand(std::string_view action, const JsonObject& player,
                               const JsonObject& payload, Done done) const;
    TaskHandle runMusicTransfer(const JsonObject& source, const JsonObject& target,
                                Done done) const;
    TaskHandle shuffleListenLater(const JsonObject& target, Done done) const;
    TaskHandle fetchMusicPlaylists(ListCompletion completion) const;
    TaskHandle playMusicPlaylist(const JsonObject& playlist, const JsonObject& target,
                                 Done done) const;
    TaskHandle fetchProgramChoices(ListCompletion completion) const;
    TaskHandle saveProgramChoices(const std::vector<std::string>& programIds, Done done) const;
    TaskHandle fetchDeviceApps(std::string_view deviceId, ListCompletion completion) const;
    TaskHandle launchDeviceApp(std::string_view deviceId, std::string_view appId, Done done) const;

    /// The JSON object a 2xx answer carries, with "data" unwrapped when it is an object; an
    /// empty object when the top level is not an object. Parse failures are errors.
    static Result<JsonObject> unwrapEnvelope(std::string_view body);
    static Result<JsonObject> unwrapEnvelope(Result<json::value> parsed);

    HttpClient& http() const { return http_; }
    RunLoop& runLoop() const { return loop_; }

  private:
    /// A checked 2xx answer: its bytes and their JSON reading (or the parse error).
    struct CheckedAnswer {
        std::string body;
        Result<json::value> document;
    };
    TaskHandle perform(std::string_view path, std::string_view method,
                       std::optional<std::string> body,
                       std::function<void(Result<CheckedAnswer>)> completion) const;
    std::optional<std::string> readToken(const std::filesystem::path& file) const;
    std::optional<std::filesystem::path> homeDirectory() const;
    TaskHandle post(std::string path, const JsonObject& body, Done done) const;
    TaskHandle fetchList(std::string path, std::string_view member, ListCompletion done) const;

    HttpClient& http_;
    RunLoop& loop_;
    Url baseURL_;
    std::optional<std::string> tokenFile_;
    std::string groupIdentifier_;
    std::optional<std::string> home_;
    ContainerLookup containerLookup_;
};

}  // namespace corvix
