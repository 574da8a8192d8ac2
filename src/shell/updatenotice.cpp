#include "shell/updatenotice.h"

#include "dialogs/prompt.h"
#include "online/updatecheck.h"

#include <QDesktopServices>

namespace {

UpdateNotice::UrlOpener &urlOpener() {
    static UpdateNotice::UrlOpener opener;
    return opener;
}

bool openUrl(const QUrl &url) {
    return urlOpener() ? urlOpener()(url) : QDesktopServices::openUrl(url);
}

} // namespace

bool UpdateNotice::tell(const UpdateCheck &found) {
    if (found.kind != UpdateCheck::Kind::NewerVersion) {
        return false;
    }
    Prompt::information(nullptr, QStringLiteral("更新提示"),
                        QStringLiteral("有新版本可用，请更新！"));
    if (!openUrl(QUrl(found.site))) {
        Prompt::information(nullptr, QStringLiteral("更新提示"),
                            QStringLiteral("无法打开下载链接，请到官网下载：") + found.site +
                                QStringLiteral("！"));
    }
    return found.forced;
}

void UpdateNotice::setUrlOpener(UrlOpener opener) {
    urlOpener() = std::move(opener);
}
