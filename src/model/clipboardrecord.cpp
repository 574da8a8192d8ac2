#include "model/clipboardrecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QStringList toStrings(const QJsonValue &value) {
    QStringList out;
    const QJsonArray array = value.toArray();
    out.reserve(array.size());
    for (const QJsonValue &v : array) {
        out.append(v.toString());
    }
    return out;
}

} // namespace

QByteArray encodeClipboard(const QStringList &lyric, const QStringList &score) {
    // QJsonObject keeps its keys sorted, which gives the order "lyric", "score".
    QJsonObject root;
    root.insert(QStringLiteral("lyric"), QJsonArray::fromStringList(lyric));
    root.insert(QStringLiteral("score"), QJsonArray::fromStringList(score));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void decodeClipboard(const QByteArray &json, QStringList *lyric, QStringList *score) {
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    *lyric = toStrings(root.value(QStringLiteral("lyric")));
    *score = toStrings(root.value(QStringLiteral("score")));
}
