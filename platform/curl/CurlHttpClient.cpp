#include "platform/curl/CurlHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>

#include "platform/AsciiText.h"
#endif

namespace corvix {

namespace {

using Clock = std::chrono::steady_clock;

std::once_flag globalInit;

Error urlError(int code, std::string description) {
    return Error{kUrlErrorDomain, code, std::move(description)};
}

Error errorFor(CURLcode code, bool timedOut) {
    if (timedOut) {
        return urlError(kUrlErrorTimedOut, "The request timed out.");
    }
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return urlError(kUrlErrorCannotConnectToHost, "Could not connect to the server.");
        case CURLE_OPERATION_TIMEDOUT:
            return urlError(kUrlErrorTimedOut, "The request timed out.");
        case CURLE_COULDNT_RESOLVE_HOST:
            return urlError(-1003, "A server with the specified hostname could not be found.");
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return urlError(kUrlErrorBadUrl, "unsupported URL");
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return urlError(kUrlErrorNetworkConnectionLost, "The network connection was lost.");
        case CURLE_FILESIZE_EXCEEDED:
        case CURLE_WRITE_ERROR:
            return urlError(kUrlErrorBadServerResponse, "The server's answer was too large.");
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
            return urlError(-1200, "A TLS error caused the secure connection to fail.");
        default:
            return urlError(kUrlErrorUnknown, curl_easy_strerror(code));
    }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return asciiEqualIgnoringCase(a, b);
}

std::size_t bodyLimit(const HttpRequest& request) {
    return std::min(CurlHttpClient::kMaxBodyBytes,
                    request.maxBodyBytes.value_or(CurlHttpClient::kMaxBodyBytes));
}

/// After a body cut off at its limit the allocator keeps the freed megabytes for later; a
/// program that idles in the tray for days should not.
void giveMemoryBack() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace

/// One transfer, shared between the caller's task handle and the network thread.
struct Transfer {
    HttpRequest request;
    bool streaming = false;
    HttpClient::Completion completion;      // whole-body requests
    HttpClient::StreamCallbacks callbacks;  // streamed requests
    std::shared_ptr<TaskState> task = std::make_shared<TaskState>();
    std::atomic<bool> finished{false};

    // Network thread only.
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    HttpResponse response;
    bool headPosted = false;
    bool timedOut = false;
    bool tooLarge = false;
    curl_off_t lastBytes = -1;
    Clock::time_point lastActivity = Clock::now();
};

class CurlHttpClient::Engine : public std::enable_shared_from_this<Engine> {
  public:
    explicit Engine(RunLoop& loop) : loop_(loop) {
        std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        multi_ = curl_multi_init();
    }

    ~Engine() { curl_multi_cleanup(multi_); }

    void startThread() {
        thread_ = std::thread([self = shared_from_this()] { self->run(); });
    }

    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        curl_multi_wakeup(multi_);
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    void submit(const std::shared_ptr<Transfer>& transfer) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                finishCancelled(transfer);
                return;
            }
            incoming_.push_back(transfer);
        }
        std::weak_ptr<Engine> weakEngine = shared_from_this();
        std::weak_ptr<Transfer> weakTransfer = transfer;
        transfer->task->onCancel([this, weakEngine, weakTransfer] {
            auto engine = weakEngine.lock();
            auto t = weakTransfer.lock();
            if (!engine || !t) {
                return;
            }
            finishCancelled(t);
            {
                std::lock_guard lock(mutex_);
                cancelled_.push_back(t);
            }
            curl_multi_wakeup(multi_);
        });
        curl_multi_wakeup(multi_);
    }

  private:
    // Completion paths. Each runs at most once per transfer (the `finished` flag).
    void finishCancelled(const std::shared_ptr<Transfer>& t) { finish(t, cancellationError()); }

    void finish(const std::shared_ptr<Transfer>& t, Result<HttpResponse> result) {
        if (t->finished.exchange(true)) {
            return;
        }
        if (!t->streaming) {
            auto completion = std::move(t->completion);
            loop_.post([completion = std::move(completion), result = std::move(result)]() mutable {
                if (completion) {
                    completion(std::move(result));
                }
            });
            return;
        }
        auto onComplete = std::move(t->callbacks.onComplete);
        Result<void> end = result ? Result<void>() : Result<void>(result.error());
        loop_.post([onComplete = std::move(onComplete), end = std::move(end)]() mutable {
            if (onComplete) {
                onComplete(std::move(end));
            }
        });
    }

    // Stream pieces are dropped once the task is cancelled; each keeps its transfer alive until
    // it ran, so no piece is lost ahead of the completion.
    void postHead(const std::shared_ptr<Transfer>& t) {
        HttpResponse head;
        head.status = t->response.status;
        head.headers = t->response.headers;
        loop_.post([transfer = t, head = std::move(head)] {
            if (!transfer->task->isCancelled() && transfer->callbacks.onResponse) {
                transfer->callbacks.onResponse(head);
            }
        });
    }

    void postData(const std::shared_ptr<Transfer>& t, std::string bytes) {
        loop_.post([transfer = t, bytes = std::move(bytes)] {
            if (!transfer->task->isCancelled() && transfer->callbacks.onData) {
                transfer->callbacks.onData(bytes);
            }
        });
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        auto* pair = static_cast<std::pair<Engine*, std::shared_ptr<Transfer>>*>(user);
        Transfer& t = *pair->second;
        const size_t length = size * count;
        std::string_view line(data, length);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        t.lastActivity = Clock::now();
        if (line.substr(0, 5) == "HTTP/") {
            t.response.headers.clear();
            return length;
        }
        if (line.empty()) {
            long status = 0;
            curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
            t.response.status = static_cast<int>(status);
            if (status >= 200 && t.streaming && !t.headPosted) {
                t.headPosted = true;
                pair->first->postHead(pair->second);
            }
            return length;
        }
        if (auto colon = line.find(':'); colon != std::string_view::npos) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            std::string_view name = line.substr(0, colon);
            if (!t.streaming && equalsIgnoringCase(name, "Content-Length")) {
                // One allocation for the whole body instead of a doubling series.
                std::size_t expected = 0;
                auto [end, ec] =
                    std::from_chars(value.data(), value.data() + value.size(), expected);
                if (ec == std::errc() && expected <= bodyLimit(t.request)) {
                    t.response.body.reserve(expected);
                }
            }
            t.response.headers.emplace_back(std::string(name), std::string(value));
        }
        return length;
    }

    static size_t onBody(char* data, size_t size, size_t count, void* user) {
        auto* pair = static_cast<std::pair<Engine*, std::shared_ptr<Transfer>>*>(user);
        Transfer& t = *pair->second;
        const size_t length = size * count;
        t.lastActivity = Clock::now();
        if (t.streaming) {
            if (!t.headPosted) {
                long status = 0;
                curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
                t.response.status = static_cast<int>(status);
                t.headPosted = true;
                pair->first->postHead(pair->second);
            }
            pair->first->postData(pair->second, std::string(data, length));
            return length;
        }
        if (t.response.body.size() + length > bodyLimit(t.request)) {
            t.tooLarge = true;
            return 0;  // ends the transfer with a write error
        }
        t.response.body.append(data, length);
        return length;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
        auto* pair = static_cast<std::pair<Engine*, std::shared_ptr<Transfer>>*>(user);
        Transfer& t = *pair->second;
        const auto now = Clock::now();
        if (dlnow + ulnow != t.lastBytes) {
            t.lastBytes = dlnow + ulnow;
            t.lastActivity = now;
        }
        if (t.task->isCancelled()) {
            return 1;
        }
        const auto idle = std::chrono::duration<double>(now - t.lastActivity).count();
        if (t.request.timeoutSeconds > 0 && idle > t.request.timeoutSeconds) {
            t.timedOut = true;
            return 1;
        }
        return 0;
    }

    struct Active {
        std::shared_ptr<Transfer> transfer;
        std::unique_ptr<std::pair<Engine*, std::shared_ptr<Transfer>>> context;
    };

    void begin(const std::shared_ptr<Transfer>& t) {
        if (t->task->isCancelled()) {
            return;
        }
        CURL* easy = curl_easy_init();
        t->easy = easy;
        auto context = std::make_unique<std::pair<Engine*, std::shared_ptr<Transfer>>>(this, t);
        const HttpRequest& r = t->request;
        curl_easy_setopt(easy, CURLOPT_URL, r.url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.followRedirects ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
        if (r.timeoutSeconds > 0) {
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                             static_cast<long>(r.timeoutSeconds * 1000));
        }
        if (r.method == "GET") {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (r.method == "HEAD") {
            curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        } else {
            if (r.method == "POST") {
                curl_easy_setopt(easy, CURLOPT_POST, 1L);
            } else {
                curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str());
            }
            const std::string& body = r.body ? *r.body : std::string();
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(body.size()));
            curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
        }
        curl_slist* list = nullptr;
        for (const auto& [name, value] : r.headers) {
            list = curl_slist_append(list, (name + ": " + value).c_str());
        }
        list = curl_slist_append(list, "Expect:");
        if (!r.header("Accept")) {
            list = curl_slist_append(list, "Accept:");  // no default "*/*" on the wire
        }
        t->headerList = list;
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Engine::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, context.get());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Engine::onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, context.get());
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Engine::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, context.get());
        curl_easy_setopt(easy, CURLOPT_PRIVATE, context.get());
        t->lastActivity = Clock::now();
        curl_multi_add_handle(multi_, easy);
        active_.push_back(Active{t, std::move(context)});
    }

    void release(std::vector<Active>::iterator it) {
        Transfer& t = *it->transfer;
        curl_multi_remove_handle(multi_, t.easy);
        curl_easy_cleanup(t.easy);
        curl_slist_free_all(t.headerList);
        t.easy = nullptr;
        t.headerList = nullptr;
        active_.erase(it);
    }

    void completeFinished() {
        int pending = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &pending)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            auto it = std::find_if(active_.begin(), active_.end(), [&](const Active& a) {
                return a.transfer->easy == message->easy_handle;
            });
            if (it == active_.end()) {
                continue;
            }
            std::shared_ptr<Transfer> t = it->transfer;
            const CURLcode code = message->data.result;
            if (code == CURLE_OK) {
                long status = 0;
                curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
                t->response.status = static_cast<int>(status);
                if (t->streaming && !t->headPosted) {
                    t->headPosted = true;
                    postHead(t);
                }
                release(it);
                if (t->request.parseJsonBody && status >= 200 && status <= 299) {
                    // A big document costs milliseconds to parse: here, not on the main thread.
                    t->response.document = parseJson(t->response.body);
                }
                finish(t, std::move(t->response));
            } else {
                Error error = t->tooLarge ? errorFor(CURLE_FILESIZE_EXCEEDED, false)
                                          : errorFor(code, t->timedOut);
                release(it);
                std::string().swap(t->response.body);
                if (t->tooLarge) {
                    giveMemoryBack();
                }
                if (t->task->isCancelled()) {
                    finishCancelled(t);
                } else {
                    finish(t, std::move(error));
                }
            }
        }
    }

    void run() {
        while (true) {
            std::vector<std::shared_ptr<Transfer>> incoming;
            std::vector<std::shared_ptr<Transfer>> cancelled;
            bool stopping = false;
            {
                std::lock_guard lock(mutex_);
                incoming.swap(incoming_);
                cancelled.swap(cancelled_);
                stopping = stopping_;
            }
            for (auto& t : incoming) {
                begin(t);
            }
            for (auto& t : cancelled) {
                auto it = std::find_if(active_.begin(), active_.end(),
                                       [&](const Active& a) { return a.transfer == t; });
                if (it != active_.end()) {
                    release(it);
                }
            }
            if (stopping) {
                while (!active_.empty()) {
                    auto t = active_.back().transfer;
                    release(active_.end() - 1);
                    finishCancelled(t);
                }
                return;
            }
            int running = 0;
            curl_multi_perform(multi_, &running);
            completeFinished();
            // Sleep until a socket is ready, curl's own next timer, the nearest idle deadline,
            // or a wake-up (new transfer, cancel, shutdown): never a periodic tick.
            curl_multi_poll(multi_, nullptr, 0, endIdleTransfers(Clock::now()), nullptr);
        }
    }

    /// Fails every transfer that has had no byte for its time-out, and answers how long the
    /// thread may sleep until the next one would expire.
    int endIdleTransfers(Clock::time_point now) {
        constexpr int kForever = std::numeric_limits<int>::max();
        int sleepMs = kForever;
        for (std::size_t i = 0; i < active_.size();) {
            std::shared_ptr<Transfer> t = active_[i].transfer;
            if (t->request.timeoutSeconds <= 0) {
                ++i;
                continue;
            }
            const auto deadline =
                t->lastActivity + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(t->request.timeoutSeconds));
            if (now < deadline) {
                // Rounded up, so the wake comes just after the deadline, not just before it.
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count() + 1;
                sleepMs = static_cast<int>(std::min<long long>(sleepMs, left));
                ++i;
                continue;
            }
            t->timedOut = true;
            release(active_.begin() + static_cast<std::ptrdiff_t>(i));
            if (t->task->isCancelled()) {
                finishCancelled(t);
            } else {
                finish(t, errorFor(CURLE_OPERATION_TIMEDOUT, true));
            }
        }
        return sleepMs;
    }

    RunLoop& loop_;
    CURLM* multi_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::shared_ptr<Transfer>> incoming_;
    std::vector<std::shared_ptr<Transfer>> cancelled_;
    std::vector<Active> active_;
    bool stopping_ = false;
};

CurlHttpClient::CurlHttpClient(RunLoop& loop) : engine_(std::make_shared<Engine>(loop)) {
    engine_->startThread();
}

CurlHttpClient::~CurlHttpClient() {
    engine_->shutdown();
}

TaskHandle CurlHttpClient::send(HttpRequest request, Completion completion) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    engine_->submit(transfer);
    return TaskHandle(transfer->task);
}

TaskHandle CurlHttpClient::stream(HttpRequest request, StreamCallbacks callbacks) {
    auto transfer = std::make_shared<Transfer>();
    transfer->request = std::move(request);
    transfer->streaming = true;
    transfer->callbacks = std::move(callbacks);
    engine_->submit(transfer);
    return TaskHandle(transfer->task);
}

}  // namespace corvix
