#pragma once

// Shared pieces of the fuzz targets: one offscreen QApplication for the whole
// run, a scratch program directory, silent message boxes, and a small reader
// that turns the fuzzer's bytes into choices.
#include "dialogs/prompt.h"
#include "platform/apppaths.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// Creates the application object once. The program directory is a fresh
// temporary directory, so settings, dictionary and fonts never touch the
// user's files; every message box answers with its default button.
inline QApplication *app() {
    static QApplication *instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_FONT_DPI", "96");
        static QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/cache")));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path() + QStringLiteral("/runtime")));
        QDir().mkpath(home.path() + QStringLiteral("/runtime"));
        QFile::setPermissions(home.path() + QStringLiteral("/runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        static int argc = 1;
        static char name[] = "qorvel-fuzz";
        static char *argv[] = {name, nullptr};
        auto *a = new QApplication(argc, argv);
        AppPaths::setProgramDirOverride(home.path() + QStringLiteral("/program"), true);
        QDir().mkpath(home.path() + QStringLiteral("/program"));
        Prompt::setResponder([](const Prompt::Request &) { return QVariant(); });
        return a;
    }();
    return instance;
}

// Keeps what a run left behind from piling up across runs. There is no event
// loop here, so the events a run caused (window system events such as the
// exposes of a shown popup, queued signals, deferred deletes) are delivered
// now, as the program's event loop would deliver them.
inline void endRun() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Prompt::clearHistory();
}

// Aborts with a message: a broken invariant is a finding.
[[noreturn]] inline void fail(const char *what) {
    fprintf(stderr, "fuzz invariant broken: %s\n", what);
    abort();
}

// Reads choices from the front of the input; past its end every read is 0.
class Bytes {
public:
    Bytes(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | byte();
        }
        return v;
    }
    // A number in [0, n).
    uint32_t below(uint32_t n) { return n ? byte() % n : 0; }
    uint32_t below16(uint32_t n) { return n ? ((uint32_t(byte()) << 8) | byte()) % n : 0; }
    // An int in [lo, hi].
    int range(int lo, int hi) {
        const uint32_t span = uint32_t(int64_t(hi) - lo + 1);
        return int(int64_t(lo) + (span ? u32() % span : 0));
    }
    QByteArray take(size_t n) {
        n = n < remaining() ? n : remaining();
        QByteArray b(reinterpret_cast<const char *>(m_data + m_pos), int(n));
        m_pos += n;
        return b;
    }
    QByteArray rest() { return take(remaining()); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace fuzz

#define QORVEL_FUZZ_INIT                                                                           \
    extern "C" int LLVMFuzzerInitialize(int *, char ***) {                                         \
        fuzz::app();                                                                               \
        return 0;                                                                                  \
    }
