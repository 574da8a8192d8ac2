#include "platform/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

struct Override {
    QString dir;
    bool writable = true;
};

Override &programDirOverride() {
    static Override o;
    return o;
}

} // namespace

QString AppPaths::programDir() {
    if (!programDirOverride().dir.isEmpty()) {
        return programDirOverride().dir;
    }
    // A portable copy may keep its files elsewhere; tests that start the
    // program use this to keep its files out of the build tree.
    const QString fromEnvironment = qEnvironmentVariable("QORVEL_PROGRAM_DIR");
    if (!fromEnvironment.isEmpty()) {
        return QDir(fromEnvironment).absolutePath();
    }
    return QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
}

bool AppPaths::isSystemLocation(const QString &dir) {
    const QString clean = QDir::cleanPath(dir);
    return clean.startsWith(QLatin1String("/usr/")) || clean == QLatin1String("/bin") ||
           clean == QLatin1String("/usr");
}

bool AppPaths::usesProgramDir() {
    if (!programDirOverride().dir.isEmpty()) {
        return programDirOverride().writable;
    }
    const QString dir = programDir();
    return QFileInfo(dir).isWritable() && !isSystemLocation(dir) && installedDataDir(dir).isEmpty();
}

QString AppPaths::installedDataDir(const QString &dir) {
    const QDir bin(QDir::cleanPath(dir));
    if (bin.dirName() != QLatin1String("bin")) {
        return {};
    }
    const QString shared = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/qorvel")));
    return QFileInfo(shared).isDir() ? shared : QString();
}

QString AppPaths::installedDataDir() {
    return installedDataDir(programDir());
}

QString AppPaths::settingsFile() {
    if (usesProgramDir()) {
        return programDir() + QStringLiteral("/settings.ini");
    }
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return dir + QStringLiteral("/settings.ini");
}

QString AppPaths::dataDir() {
    if (usesProgramDir()) {
        return programDir();
    }
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dir);
    return dir;
}

QString AppPaths::dataPath(const QString &name) {
    return dataDir() + QLatin1Char('/') + name;
}

QString AppPaths::cacheDir() {
    return dataPath(QStringLiteral("cache"));
}

void AppPaths::setProgramDirOverride(const QString &dir, bool writable) {
    programDirOverride().dir = dir;
    programDirOverride().writable = writable;
}
