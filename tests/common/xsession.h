#pragma once

// A private X server for tests that drive the real program in real windows:
// Xvfb on a free display, the program started on it with the xcb platform
// and its own program directory, keys and text sent with xdotool, and
// screenshots. There is no window manager, so focus is always set explicitly.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QVector>
#include <QtTest>
#include <functional>

// Runs the event loop until condition holds; false after timeoutMs.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

// The example aria the real-window tests open, copied to path (a file the
// test may change); false when it could not be copied.
inline bool copySample(const QString &path) {
    return QFile::copy(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), path);
}

// In initTestCase: session started on the first free display from
// firstDisplay on, or the whole test skipped with the reason where Xvfb or
// xdotool cannot run.
#define QORVEL_START_X_OR_SKIP(session, firstDisplay)                                              \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!(session).start((firstDisplay), &why_)) {                                             \
            QSKIP(qPrintable(why_ + QStringLiteral(": the real-window test cannot run here")));    \
        }                                                                                          \
    } while (false)

class XSession {
public:
    XSession() = default;
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;
    ~XSession() { stop(); }

    // Starts Xvfb on the first free display from firstDisplay on, with a
    // screen of the size and depth given. False, with the reason in *why,
    // where Xvfb or xdotool is missing or cannot start.
    bool start(int firstDisplay, QString *why,
               const QString &screen = QStringLiteral("1280x800x24")) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            *why = QStringLiteral("Xvfb or xdotool is not installed");
            return false;
        }
        int n = firstDisplay;
        while (QFile::exists(socketOf(n)) ||
               QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
            ++n;
        }
        m_display = QStringLiteral(":%1").arg(n);
        // -noreset: the server stays as it is when a killed program was its
        // last client.
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {m_display, QStringLiteral("-screen"), QStringLiteral("0"), screen,
                      QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                      QStringLiteral("-noreset")});
        if (!m_xvfb.waitForStarted(10000) ||
            !waitUntil([&] { return QFile::exists(socketOf(n)); })) {
            *why = QStringLiteral("Xvfb could not start");
            return false;
        }
        findSpareKeys();
        return true;
    }

    void stop() {
        stopProgram();
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            m_xvfb.waitForFinished(5000);
        }
    }

    QString display() const { return m_display; }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        return env;
    }

    // Starts the built program on this display with its files under home
    // and programDir (and extra variables), and returns its main window, or
    // an empty string when none appeared. The window is set to 1000 × 700 at
    // the top left unless arrange is false.
    QString startProgram(const QString &home, const QString &programDir, const QStringList &args,
                         const QProcessEnvironment &extra = QProcessEnvironment(),
                         bool arrange = true) {
        stopProgram(); // one program at a time, even after a failed test
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        // Nothing listens there: no update check or start page from outside.
        env.insert(QStringLiteral("QORVEL_API_BASE_URL"), QStringLiteral("http://127.0.0.1:9"));
        env.insert(QStringLiteral("QORVEL_PROGRAM_DIR"), programDir);
        env.insert(extra);
        QDir().mkpath(programDir);
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), args);
        if (!m_program.waitForStarted(10000)) {
            return QString();
        }
        QString window;
        waitUntil(
            [&] {
                // "Qorvel工尺谱", or "file.gcp — Qorvel工尺谱" with a document open.
                window = findWindowMatching(QStringLiteral("(^| — )Qorvel工尺谱$"));
                return !window.isEmpty();
            },
            60000);
        if (!window.isEmpty() && arrange) {
            xdotool({QStringLiteral("windowsize"), window, QStringLiteral("1000"),
                     QStringLiteral("700")});
            xdotool(
                {QStringLiteral("windowmove"), window, QStringLiteral("0"), QStringLiteral("0")});
        }
        return window;
    }

    QProcess &program() { return m_program; }

    // SIGKILL: the program gets no chance to clean up.
    void stopProgram() {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(10000);
        }
    }

    QString xdotool(const QStringList &args, int timeoutMs = 20000) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(timeoutMs);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // A visible window whose title is exactly title; empty when there is none.
    QString findWindow(const QString &title) const {
        return findWindowMatching(QStringLiteral("^%1$").arg(title));
    }
    // A visible window whose title matches the regular expression pattern.
    QString findWindowMatching(const QString &pattern) const {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--name"), pattern})
            .section(QLatin1Char('\n'), 0, 0);
    }

    void focus(const QString &window) const {
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    }

    // Key chords ("ctrl+s", "Return") into window.
    void key(const QString &window, const QString &keys) const {
        focus(window);
        xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80"), keys});
    }

    // Text into window, one character every delayMs.
    void type(const QString &window, const QString &text, int delayMs = 80) {
        bindCharacters(text);
        focus(window);
        xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QString::number(delayMs), text});
    }

    // A left click at (x, y) of window.
    void click(const QString &window, int x, int y) const {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                 QString::number(x), QString::number(y), QStringLiteral("click"),
                 QStringLiteral("1")});
    }

    // The whole screen as an image file (ImageMagick's import).
    void screenshot(const QString &file) const {
        QProcess shot;
        shot.setProcessEnvironment(environment());
        shot.start(QStringLiteral("import"),
                   {QStringLiteral("-window"), QStringLiteral("root"), file});
        shot.waitForFinished(20000);
    }

private:
    static QString socketOf(int n) { return QStringLiteral("/tmp/.X11-unix/X%1").arg(n); }

    QString xmodmap(const QStringList &args) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral("xmodmap"), args);
        p.waitForFinished(20000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The key codes without symbols, less two that xdotool keeps for itself.
    void findSpareKeys() {
        if (QStandardPaths::findExecutable(QStringLiteral("xmodmap")).isEmpty()) {
            return;
        }
        const QStringList lines = xmodmap({QStringLiteral("-pke")}).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            const QStringList fields = line.simplified().split(QLatin1Char(' '));
            // "keycode 93 =": nothing bound; 8 is below what X delivers.
            if (fields.size() == 3 && fields.at(0) == QLatin1String("keycode") &&
                fields.at(1).toInt() > 8) {
                m_spareKeys.append(fields.at(1).toInt());
            }
        }
        m_spareKeys = m_spareKeys.mid(0, qMax(0, m_spareKeys.size() - 2));
    }

    // xdotool types a character the keyboard map lacks (every CJK character)
    // by binding it to a spare key only for that key press. A program that
    // reads the press after the binding is gone, such as an instrumented
    // build, loses the character. So such characters are bound here for the
    // rest of the session, and xdotool finds them on the keyboard.
    void bindCharacters(const QString &text) {
        QStringList args;
        for (const uint c : text.toUcs4()) {
            if (c < 0x80 || m_boundKeys.contains(c) || m_boundKeys.size() >= m_spareKeys.size()) {
                continue;
            }
            const int key = m_spareKeys.at(m_boundKeys.size());
            m_boundKeys.insert(c, key);
            args << QStringLiteral("-e")
                 << QStringLiteral("keycode %1 = U%2")
                        .arg(key)
                        .arg(QString::number(c, 16).toUpper());
        }
        if (!args.isEmpty()) {
            xmodmap(args);
        }
    }

    QVector<int> m_spareKeys;
    QHash<uint, int> m_boundKeys;

    QProcess m_xvfb;
    QProcess m_program;
    QString m_display;
};
