#pragma once

#include <QString>

// Where the program keeps its files: "settings.ini", "wordsdict.csv", the
// "fonts" directory, the "cache" directory.
//
// A portable install keeps them beside the executable. Installed into a
// system location (under /usr, or any directory the user cannot write), the
// executable's directory is not the user's to change, so the per-user
// locations are used instead: AppConfigLocation for "settings.ini",
// AppDataLocation for the rest. So are they for a prefix install anywhere
// (PREFIX/bin/qorvel beside PREFIX/share/qorvel, as `cmake --install` and the
// Debian package lay it out): its files come from that prefix, never from a
// build tree, and the user's own files never go into it.
class AppPaths {
public:
    // The directory of the executable, or the directory named by the
    // environment variable QORVEL_PROGRAM_DIR, or the override set for tests.
    static QString programDir();

    // True when the files live beside the executable.
    static bool usesProgramDir();

    // The full path of "settings.ini".
    static QString settingsFile();

    // The directory that holds "wordsdict.csv", "fonts" and "cache".
    static QString dataDir();

    // dataDir() joined with name, e.g. dataPath("fonts").
    static QString dataPath(const QString &name);

    // The cache directory ("cache" in dataDir()).
    static QString cacheDir();

    // For tests: pretend the executable lives in dir, and force whether that
    // directory counts as writable. An empty dir removes the override.
    static void setProgramDirOverride(const QString &dir, bool writable = true);

    // True for directories of the system's own programs (/usr and below, /bin).
    static bool isSystemLocation(const QString &dir);

    // The shared files of a prefix install ("share/qorvel" beside the "bin"
    // directory dir), or an empty string when dir is not such a "bin".
    static QString installedDataDir(const QString &dir);

    // installedDataDir(programDir()).
    static QString installedDataDir();
};
