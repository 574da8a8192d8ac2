#pragma once

#include <QString>

// What an operation that can fail came to: success (with the file or folder
// it wrote, if any) or failure with the message the user is to read, as the
// title and text of a warning. Whoever started the operation shows it: the
// window in a message box, the command line on standard error.
class Outcome {
public:
    static Outcome success(const QString &path = QString()) {
        Outcome o;
        o.m_path = path;
        return o;
    }
    // Done, but not wholly: the warning says what is missing.
    static Outcome partial(const QString &path, const QString &title, const QString &message) {
        Outcome o;
        o.m_path = path;
        o.m_title = title;
        o.m_message = message;
        return o;
    }
    static Outcome failure(const QString &title, const QString &message) {
        Outcome o;
        o.m_ok = false;
        o.m_title = title;
        o.m_message = message;
        return o;
    }

    bool ok() const { return m_ok; }
    // A success that comes with a warning to show.
    bool hasWarning() const { return m_ok && !m_message.isEmpty(); }
    explicit operator bool() const { return m_ok; }
    // The file or folder written, when the operation wrote one.
    const QString &path() const { return m_path; }
    // The warning's title and text, for a failure or a partial success.
    const QString &title() const { return m_title; }
    const QString &message() const { return m_message; }

private:
    bool m_ok = true;
    QString m_path;
    QString m_title;
    QString m_message;
};
