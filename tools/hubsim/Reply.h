#pragma once

#include <boost/json.hpp>

#include <string>

namespace hubsim {

/// The outcome of one request against the simulated home.
struct Reply {
    /// HTTP status of the answer.
    int httpStatus = 200;
    /// The "status" member: false for a hub-side refusal inside a 200 answer.
    bool ok = true;
    std::string message;
    /// Extra answer members ("data" when not empty).
    boost::json::object data;
    /// Whether the state changed, so the stream must announce it.
    bool changed = false;

    static Reply success(std::string message, bool changed = true) {
        Reply reply;
        reply.message = std::move(message);
        reply.changed = changed;
        return reply;
    }
    /// A 200 answer with "status": false, as the hub reports commands it cannot carry out.
    static Reply refused(std::string message) {
        Reply reply;
        reply.ok = false;
        reply.message = std::move(message);
        return reply;
    }
    static Reply error(int httpStatus, std::string message) {
        Reply reply;
        reply.httpStatus = httpStatus;
        reply.ok = false;
        reply.message = std::move(message);
        return reply;
    }
};

}  // namespace hubsim
