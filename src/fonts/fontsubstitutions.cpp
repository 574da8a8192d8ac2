#include "fonts/fontsubstitutions.h"

#include <QFont>
#include <QFontDatabase>

namespace {

QStringList kaiFamilies() {
    return {QStringLiteral("AR PL UKai CN"),     QStringLiteral("AR PL KaitiM GB"),
            QStringLiteral("AR PL UKai TW"),     QStringLiteral("AR PL UKai HK"),
            QStringLiteral("AR PL KaitiM Big5"), QStringLiteral("TW-Kai")};
}

QStringList serifFamilies() {
    return {QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC"),
            QStringLiteral("AR PL SungtiL GB"), QStringLiteral("AR PL UMing TW")};
}

QStringList sansFamilies() {
    return {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Zen Hei"),
            QStringLiteral("Droid Sans Fallback")};
}

// The installed families among candidates, in the candidates' order, spelt
// as the font database spells them.
QStringList installedAmong(const QStringList &candidates, const QStringList &installed) {
    QStringList found;
    for (const QString &candidate : candidates) {
        for (const QString &family : installed) {
            if (family.compare(candidate, Qt::CaseInsensitive) == 0) {
                found.append(family);
                break;
            }
        }
    }
    return found;
}

bool isInstalled(const QString &family, const QStringList &installed) {
    return installed.contains(family, Qt::CaseInsensitive);
}

} // namespace

QStringList kaiFamilyCandidates() {
    return kaiFamilies() + serifFamilies() + sansFamilies();
}

QStringList heiFamilyCandidates() {
    return sansFamilies();
}

void installChineseFontSubstitutions() {
    const QStringList installed = QFontDatabase().families();

    const QStringList kai = installedAmong(kaiFamilyCandidates(), installed);
    // A Hei face is best for 黑体; a system with Kai or Ming fonts only still
    // gets a CJK font rather than a Latin one.
    QStringList hei = installedAmong(heiFamilyCandidates(), installed);
    if (hei.isEmpty()) {
        hei = kai;
    }

    const struct {
        const char *name;
        const QStringList &targets;
    } windowsNames[] = {
        {"楷体", kai},
        {"KaiTi", kai},
        {"黑体", hei},
        {"SimHei", hei},
    };
    for (const auto &entry : windowsNames) {
        const QString name = QString::fromUtf8(entry.name);
        if (entry.targets.isEmpty() || isInstalled(name, installed)) {
            continue;
        }
        QFont::insertSubstitutions(name, entry.targets);
    }
}
