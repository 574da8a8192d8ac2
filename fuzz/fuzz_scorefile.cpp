// The score file reader: any bytes as a ".gcp" file. Decoding must stay
// within the buffer, what it decodes must survive a write and a read
// unchanged, and a document tab must open the file.
#include "editor/documenttab.h"
#include "fuzz_common.h"
#include "model/scorefile.h"

#include <QFile>
#include <QTemporaryDir>

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    static QTemporaryDir dir;
    static DocumentTab *tab = new DocumentTab;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));

    QString lyric, score;
    decodeScoreFile(bytes, &lyric, &score);
    if (lyric.size() > int(size) || score.size() > int(size)) {
        fuzz::fail("decoded more text than the file holds");
    }
    QString lyric2, score2;
    decodeScoreFile(encodeScoreFile(lyric, score), &lyric2, &score2);
    if (lyric2 != lyric || score2 != score) {
        fuzz::fail("score file does not round-trip");
    }

    const QString path = dir.filePath(QStringLiteral("input.gcp"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
        file.close();
        QString fileLyric, fileScore;
        if (readScoreFile(path, &fileLyric, &fileScore) &&
            (fileLyric != lyric || fileScore != score)) {
            fuzz::fail("readScoreFile and decodeScoreFile disagree");
        }
        tab->open(path);
        tab->documentLines();
    }
    fuzz::endRun();
    return 0;
}
