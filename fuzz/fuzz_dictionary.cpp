// Dictionary loading: any bytes as "wordsdict.csv", then searches and the
// segmentation of typed text. The first byte gives the length of the typed
// text that follows; the rest is the dictionary.
#include "fuzz_common.h"
#include "inputmethod/scoretree.h"

#include <QFile>

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    fuzz::Bytes in(data, size);
    const int typedLength = in.byte() % 32;
    const QString typed = QString::fromLatin1(in.take(size_t(typedLength)));
    const QByteArray dictionary = in.rest();

    const QString path = AppPaths::dataPath(QStringLiteral("wordsdict.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fuzz::fail("cannot write the dictionary file");
    }
    file.write(dictionary);
    file.close();

    ScoreTree tree(QStringLiteral("wordsdict.csv"));
    const QStringList keys = {
        typed,    typed.toLower(), QStringLiteral("zb"), QStringLiteral("y"), QStringLiteral("v"),
        QString()};
    for (const QString &key : keys) {
        for (bool prefix : {false, true}) {
            const CandidateList found = tree.search(key, prefix);
            for (const auto &candidate : found) {
                tree.related(candidate.text);
            }
        }
    }
    const SegmentList segments = tree.segment(typed.toLower());
    int covered = 0;
    for (const Segment &s : segments) {
        covered += s.text.size();
    }
    if (covered > typed.size()) {
        fuzz::fail("segments cover more than the typed text");
    }
    for (int i = 1; i <= typed.size(); ++i) {
        tree.segment(typed.left(i).toLower());
    }
    fuzz::endRun();
    return 0;
}
