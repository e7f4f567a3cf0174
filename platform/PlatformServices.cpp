#include "platform/PlatformServices.h"

namespace corvix {

namespace {
PlatformServices& storage() {
    static PlatformServices services;
    return services;
}
}  // namespace

PlatformServices& platformServices() {
    return storage();
}

void installPlatformServices(const PlatformServices& services) {
    storage() = services;
}

}  // namespace corvix
