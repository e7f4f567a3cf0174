// hubsim: a stand-in for the Orbelune OS hub on loopback. See README.md.

#include "DemoHome.h"
#include "Server.h"
#include "TokenFile.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

namespace {

void usage(std::ostream& out) {
    out << "usage: hubsim [options]\n"
           "  --port N                 port to listen on (default 8080; 0 picks a free one)\n"
           "  --host ADDRESS           address to listen on (default 127.0.0.1)\n"
           "  --token-file PATH        token file (default ~/.orbelune/mac-control/token;\n"
           "                           created with a random token when missing)\n"
           "  --home FILE              serve the home in a JSON file instead of the demo home\n"
           "  --scale ROOMS,DEVICES    generated home: ROOMS rooms of DEVICES devices each\n"
           "  --latency-ms N           delay every answer by N ms\n"
           "  --icon-latency-ms N      delay app icons alone by N ms\n"
           "  --fail-rate R            answer API requests with HTTP 500 at rate R (0..1)\n"
           "  --status-false-rate R    answer API requests with \"status\": false at rate R\n"
           "  --refuse-route PREFIX    answer API routes starting with PREFIX (e.g. music/)\n"
           "                           with \"status\": false; may be repeated\n"
           "  --drop-streams-after S   end every event stream S seconds after it opened\n"
           "  --malformed-state KIND   serve a broken state: not-json, not-object or deep\n"
           "  --keepalive-seconds S    comment line on idle streams every S seconds (default 15)\n"
           "  --quiet                  do not log requests\n";
}

/// The whole text as one number, read the same way whatever the locale says ("0.5", never
/// "0,5").
template <typename Number>
bool parseNumber(std::string_view text, Number& out) {
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && stop == end;
}

bool parseRate(const char* text, double& out) {
    return parseNumber(text, out) && out >= 0 && out <= 1;
}

}  // namespace

int main(int argc, char** argv) {
    hubsim::ServerOptions options;
    options.port = 8080;
    std::string tokenFile = hubsim::defaultTokenFilePath();
    bool quiet = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "hubsim: " << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        auto fail = [&](const char* what) {
            std::cerr << "hubsim: bad value for " << arg << ": " << what << "\n";
            std::exit(2);
        };
        if (arg == "--port") {
            const char* v = value();
            long port = 0;
            if (!parseNumber(v, port) || port < 0 || port > 65535) {
                fail(v);
            }
            options.port = static_cast<int>(port);
        } else if (arg == "--host") {
            options.host = value();
        } else if (arg == "--token-file") {
            tokenFile = value();
        } else if (arg == "--home") {
            std::string error;
            options.home = hubsim::loadHome(value(), error);
            if (!options.home) {
                std::cerr << "hubsim: " << error << "\n";
                std::exit(2);
            }
        } else if (arg == "--scale") {
            const char* v = value();
            if (std::sscanf(v, "%d,%d", &options.scaleRooms, &options.scaleDevicesPerRoom) != 2 ||
                options.scaleRooms < 1 || options.scaleDevicesPerRoom < 1) {
                fail(v);
            }
        } else if (arg == "--latency-ms") {
            const char* v = value();
            if (!parseNumber(v, options.faults.latencyMs) || options.faults.latencyMs < 0) {
                fail(v);
            }
        } else if (arg == "--icon-latency-ms") {
            const char* v = value();
            if (!parseNumber(v, options.faults.iconLatencyMs) || options.faults.iconLatencyMs < 0) {
                fail(v);
            }
        } else if (arg == "--fail-rate") {
            const char* v = value();
            if (!parseRate(v, options.faults.failRate)) {
                fail(v);
            }
        } else if (arg == "--status-false-rate") {
            const char* v = value();
            if (!parseRate(v, options.faults.statusFalseRate)) {
                fail(v);
            }
        } else if (arg == "--refuse-route") {
            options.faults.refusedRoutes.emplace_back(value());
        } else if (arg == "--drop-streams-after") {
            const char* v = value();
            if (!parseNumber(v, options.faults.dropStreamsAfterSeconds) ||
                !(options.faults.dropStreamsAfterSeconds > 0)) {
                fail(v);
            }
        } else if (arg == "--malformed-state") {
            const std::string v = value();
            if (v == "not-json") {
                options.faults.malformedState = hubsim::MalformedState::NotJson;
            } else if (v == "not-object") {
                options.faults.malformedState = hubsim::MalformedState::NotObject;
            } else if (v == "deep") {
                options.faults.malformedState = hubsim::MalformedState::Deep;
            } else {
                fail(v.c_str());
            }
        } else if (arg == "--keepalive-seconds") {
            const char* v = value();
            double seconds = 0;
            if (!parseNumber(v, seconds) || !(seconds > 0) || seconds > 86400) {
                fail(v);
            }
            options.keepAliveInterval =
                std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            return 0;
        } else {
            std::cerr << "hubsim: unknown option " << arg << "\n";
            usage(std::cerr);
            return 2;
        }
    }

    std::string error;
    options.token = hubsim::loadOrCreateToken(tokenFile, error);
    if (options.token.empty()) {
        std::cerr << "hubsim: " << error << "\n";
        return 1;
    }
    if (!quiet) {
        options.log = [](const std::string& line) { std::cout << line << std::endl; };
    }

    // Block the stop signals before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    hubsim::Server server(options);
    if (!server.start()) {
        std::cerr << "hubsim: " << server.lastError() << "\n";
        return 1;
    }
    std::cout << "Orbelune OS simulator listening on " << server.origin() << "\n"
              << "  API base:   " << server.baseUrl() << "\n"
              << "  dashboard:  " << server.origin() << "/os\n"
              << "  token file: " << tokenFile << "\n"
              << "  try: curl -H \"X-Mac-Control-Token: $(cat " << tokenFile << ")\" "
              << server.baseUrl() << "state\n"
              << "Stop with Ctrl-C." << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    std::cout << "hubsim: stopping (" << strsignal(received) << ")" << std::endl;
    server.stop();
    return 0;
}
