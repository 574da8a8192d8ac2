#pragma once

#include <QMetaType>
#include <QString>

// What one update check found, as a plain value: the window decides what the
// user is told.
struct UpdateCheck {
    enum class Kind {
        // The server answered and names no newer version (or an answer that
        // is no version at all).
        None,
        // The server names a newer version; it is downloaded from site.
        NewerVersion,
        // The check itself failed (no connection, an error status, a reply
        // too long). Not told to the user: the program goes on as before.
        Failed,
    };

    Kind kind = Kind::None;
    // The version the server names, for NewerVersion.
    QString version;
    // The server demands the update: the program should close.
    bool forced = false;
    // The address of the web site the newer version is downloaded from, for
    // NewerVersion.
    QString site;
    // Why the check failed, for Failed.
    QString error;
};

Q_DECLARE_METATYPE(UpdateCheck)
