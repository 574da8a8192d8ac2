// Server replies: any bytes as the body of the update check and as the start
// page. What the check finds is told as the window tells it (prompts answered
// by the silent responder, no browser opened); the start page text goes into
// a text browser as the main window shows it.
#include "fuzz_common.h"
#include "online/boundedreply.h"
#include "online/updatemanager.h"
#include "shell/updatenotice.h"

#include <QTextBrowser>

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    static UpdateManager *manager = [] {
        auto *m = new UpdateManager;
        UpdateNotice::setUrlOpener([](const QUrl &) { return false; });
        QObject::connect(m, &UpdateManager::checked,
                         [](const UpdateCheck &found) { UpdateNotice::tell(found); });
        return m;
    }();
    static QTextBrowser *startPage = [] {
        auto *b = new QTextBrowser;
        b->setOpenLinks(false);
        b->resize(640, 480);
        return b;
    }();
    fuzz::Bytes in(data, size);
    const bool ok = in.byte() & 1;
    // The body never exceeds the reply limit: BoundedReply drops longer ones.
    const QByteArray body = in.rest().left(int(UpdateManager::replyLimit));

    manager->handleReply(ok, QStringLiteral("error"), body);

    const QString page = replyText(body);
    if (page.contains(QChar(0))) {
        fuzz::fail("reply text runs past a zero byte");
    }
    startPage->setHtml(page);
    startPage->toPlainText();
    startPage->grab(QRect(0, 0, 64, 64));
    fuzz::endRun();
    return 0;
}
