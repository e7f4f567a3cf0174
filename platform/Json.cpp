#include "platform/Json.h"

namespace corvix {

Result<json::value> parseJson(std::string_view text, std::size_t maxDepth) {
    json::parse_options options;
    options.max_depth = maxDepth;
    boost::system::error_code ec;
    json::value value = json::parse(text, ec, json::storage_ptr(), options);
    if (ec) {
        return Error{kJsonErrorDomain, ec.value(),
                     "The data couldn't be read because it isn't in the correct format."};
    }
    return value;
}

std::string toJsonText(const json::value& value) {
    return json::serialize(value);
}

}  // namespace corvix
