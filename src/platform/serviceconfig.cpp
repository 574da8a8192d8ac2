#include "platform/serviceconfig.h"

#include "platform/apppaths.h"

namespace {

QString fromEnvironment(const char *name, const QString &fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

} // namespace

ServiceConfig *ServiceConfig::instance() {
    static ServiceConfig config;
    return &config;
}

ServiceConfig::ServiceConfig()
    : apiBaseUrl(fromEnvironment("QORVEL_API_BASE_URL", QStringLiteral("https://api.qorvel.org")))
    , webBaseUrl(fromEnvironment("QORVEL_WEB_BASE_URL", QStringLiteral("https://qorvel.org")))
    , startPageCacheFile(AppPaths::cacheDir() + QStringLiteral("/sponsor.html"))
    , cacheDir(AppPaths::cacheDir()) {}
