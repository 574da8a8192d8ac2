#pragma once

#include <QUrl>
#include <functional>

struct UpdateCheck;

// Tells the user what an update check found. A newer version is announced
// and its web site opened (when the browser cannot open it, its address is
// given instead); nothing is said otherwise, not even about a failed check.
// The boxes have no parent: the answer may come before the window shows.
class UpdateNotice {
public:
    // Shows what found calls for; true when the server demands the update,
    // and the window should close the normal way.
    static bool tell(const UpdateCheck &found);

    // Opens a URL in the desktop's browser; replaceable for tests (an empty
    // opener restores the desktop's).
    using UrlOpener = std::function<bool(const QUrl &)>;
    static void setUrlOpener(UrlOpener opener);
};
