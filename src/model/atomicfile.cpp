#include "model/atomicfile.h"

#include <QSaveFile>

Outcome writeFileAtomically(const QString &path, const QByteArray &bytes) {
    const Outcome failed =
        Outcome::failure(QStringLiteral("错误"), QStringLiteral("无法写入文件！"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return failed;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return failed;
    }
    return file.commit() ? Outcome::success(path) : failed;
}
