#pragma once

#include <QString>

// Addresses and names of the vendor's online services, created on first use.
// The two base URLs can be pointed elsewhere with the environment variables
// QORVEL_API_BASE_URL and QORVEL_WEB_BASE_URL (tests and mirrors use them).
struct ServiceConfig {
    static ServiceConfig *instance();

    QString apiBaseUrl;
    QString webBaseUrl;
    QString formContentType = QStringLiteral("application/x-www-form-urlencoded");
    QString version = QStringLiteral("2.1");
    QString updateCheckPath = QStringLiteral("/update_check.json");
    QString startPagePath = QStringLiteral("/sponsor");
    QString rootPath = QStringLiteral("/");
    QString statisticsPath = QStringLiteral("statistics.php");
    QString startPageCacheFile;
    QString cacheDir;
    QString startPageHtml;

private:
    ServiceConfig();
};
