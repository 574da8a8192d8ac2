#include "staff/staffengraver.h"

#include "platform/apppaths.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/types.h>
#include <unistd.h>

namespace {

// A LilyPond run in a process group of its own: with -djob-count LilyPond
// forks workers, and stopping the run must stop them too.
class GroupProcess : public QProcess {
public:
    using QProcess::QProcess;

    void killGroup() {
        const qint64 id = processId();
        if (id > 0) {
            ::kill(-pid_t(id), SIGKILL);
        }
        kill();
    }

protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

// "t3.ly:12:4: error: unknown escaped string" — file, line, column, kind, text.
const QRegularExpression &messageLine() {
    static const QRegularExpression re(
        QStringLiteral(R"(^(?:.*/)?(t\d+\.ly):(\d+):(\d+): (warning|error): (.*)$)"));
    return re;
}

const QRegularExpression &processingLine() {
    static const QRegularExpression re(QStringLiteral(R"(^Processing `(?:.*/)?t(\d+)\.ly')"));
    return re;
}

// A line of LilyPond's own progress, not the context of a message.
bool isProgressLine(const QString &line) {
    return line.endsWith(QLatin1String("...")) || line.startsWith(QLatin1String("Processing `")) ||
           line.startsWith(QLatin1String("Success:")) ||
           line.startsWith(QLatin1String("fatal error:")) ||
           line.startsWith(QLatin1String("Forking into")) ||
           line.startsWith(QLatin1String("logfile ")) || messageLine().match(line).hasMatch();
}

// The pages of an engraved file stem: "t0.svg", or "t0-1.svg", "t0-2.svg"….
QStringList pageFiles(const QDir &dir, const QString &stem) {
    if (dir.exists(stem + QStringLiteral(".svg"))) {
        return {dir.filePath(stem + QStringLiteral(".svg"))};
    }
    QStringList files;
    for (int page = 1; dir.exists(QStringLiteral("%1-%2.svg").arg(stem).arg(page)); ++page) {
        files.append(dir.filePath(QStringLiteral("%1-%2.svg").arg(stem).arg(page)));
    }
    return files;
}

QByteArray readFile(const QString &path, bool *ok) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

} // namespace

struct StaffEngraver::Run {
    QVector<LilyPondSource> sources;
    QVector<QByteArray> keys;
    QVector<Tune> tunes;
    QVector<int> pending; // indices of the sources LilyPond engraves, file t<k>.ly for pending[k]
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<GroupProcess> process;
    QTimer timer;   // the time limit
    QTimer logPoll; // the workers' logs, for progress, when LilyPond forks
    QByteArray errorOutput;
    int limit = 0;
    int started = 0; // files LilyPond has begun
    int jobs = 1;
};

StaffEngraver::StaffEngraver(QObject *parent)
    : QObject(parent) {
    m_cacheDirectory = QDir(AppPaths::cacheDir()).filePath(QStringLiteral("lilypond"));
}

StaffEngraver::~StaffEngraver() {
    if (m_run && m_run->process) {
        m_run->process->disconnect(this);
        m_run->process->killGroup();
        m_run->process->waitForFinished(2000);
    }
}

QString StaffEngraver::program() {
    const QString named = qEnvironmentVariable("QORVEL_LILYPOND");
    if (!named.isEmpty()) {
        const QFileInfo info(named);
        if (info.isAbsolute()) {
            return info.isFile() && info.isExecutable() ? named : QString();
        }
        return QStandardPaths::findExecutable(named);
    }
    return QStandardPaths::findExecutable(QStringLiteral("lilypond"));
}

QString StaffEngraver::missingMessage() {
    return QStringLiteral("未找到 LilyPond，无法排五线谱");
}

void StaffEngraver::setCacheDirectory(const QString &path) {
    m_cacheDirectory = path;
}

QString StaffEngraver::cacheDirectory() const {
    return m_cacheDirectory;
}

void StaffEngraver::setTimeLimit(int seconds) {
    m_timeLimit = seconds;
}

bool StaffEngraver::isRunning() const {
    return m_run != nullptr;
}

const StaffEngraver::Result &StaffEngraver::result() const {
    return m_result;
}

namespace {

// The key of a source's engraving: its text and the LilyPond that engraves
// it (its path, size and date, which change with an upgrade).
QByteArray cacheKey(const QString &text, const QString &program) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(text.toUtf8());
    const QFileInfo info(program);
    hash.addData(QStringLiteral("\n%1\n%2\n%3")
                     .arg(info.canonicalFilePath())
                     .arg(info.size())
                     .arg(info.lastModified().toMSecsSinceEpoch())
                     .toUtf8());
    return hash.result().toHex();
}

// A cached engraving: "pages" (the page count), page-1.svg …, warnings.txt.
bool readCached(const QString &entry, StaffEngraver::Tune *tune) {
    const QDir dir(entry);
    bool ok = true;
    const int count = readFile(dir.filePath(QStringLiteral("pages")), &ok).trimmed().toInt();
    if (!ok || count <= 0) {
        return false;
    }
    StaffEngraver::Tune read;
    for (int page = 1; page <= count; ++page) {
        const QByteArray svg = readFile(dir.filePath(QStringLiteral("page-%1.svg").arg(page)), &ok);
        if (!ok || !svg.contains("<svg")) {
            return false;
        }
        read.pages.append(svg);
    }
    read.warnings = QString::fromUtf8(readFile(dir.filePath(QStringLiteral("warnings.txt")), &ok));
    *tune = read;
    return true;
}

// Writes an engraving into the cache: into a folder of its own first, then
// renamed into place, so that a stopped run never leaves half an entry.
void writeCached(const QString &cacheDir, const QByteArray &key, const StaffEngraver::Tune &tune) {
    if (!QDir().mkpath(cacheDir)) {
        return;
    }
    QTemporaryDir temp(QDir(cacheDir).filePath(QStringLiteral(".entry-XXXXXX")));
    if (!temp.isValid()) {
        return;
    }
    const QDir dir(temp.path());
    for (int page = 0; page < tune.pages.size(); ++page) {
        if (!writeFile(dir.filePath(QStringLiteral("page-%1.svg").arg(page + 1)),
                       tune.pages.at(page))) {
            return;
        }
    }
    if (!writeFile(dir.filePath(QStringLiteral("warnings.txt")), tune.warnings.toUtf8()) ||
        !writeFile(dir.filePath(QStringLiteral("pages")), QByteArray::number(tune.pages.size()))) {
        return;
    }
    const QString entry = QDir(cacheDir).filePath(QString::fromLatin1(key));
    if (QFileInfo::exists(entry)) {
        QDir(entry).removeRecursively(); // an entry that could not be read
    }
    if (QDir().rename(temp.path(), entry)) {
        temp.setAutoRemove(false);
    }
}

} // namespace

void StaffEngraver::start(const QVector<LilyPondSource> &sources) {
    if (m_run) {
        cancel();
    }
    m_run = std::make_unique<Run>();
    Run &run = *m_run;
    run.sources = sources;
    run.tunes.resize(sources.size());
    const QString lilypond = program();
    if (lilypond.isEmpty()) {
        finishLater(Failure::Missing, missingMessage());
        return;
    }
    for (int i = 0; i < sources.size(); ++i) {
        const QByteArray key = cacheKey(sources.at(i).text, lilypond);
        run.keys.append(key);
        if (!readCached(QDir(m_cacheDirectory).filePath(QString::fromLatin1(key)), &run.tunes[i])) {
            run.pending.append(i);
        }
    }
    emit progress(sources.size() - run.pending.size(), sources.size());
    if (run.pending.isEmpty()) {
        finishLater(Failure::None, QString());
        return;
    }
    startLilyPond(lilypond);
}

void StaffEngraver::startLilyPond(const QString &lilypond) {
    Run &run = *m_run;
    run.dir = std::make_unique<QTemporaryDir>();
    if (!run.dir->isValid()) {
        finishLater(Failure::Error, QStringLiteral("LilyPond 出错：无法建立临时文件夹"));
        return;
    }
    QStringList arguments = {
        QStringLiteral("--svg"),
        QStringLiteral("-dpoint-and-click"),
    };
    // Each worker starts Guile anew (about 1.5 s): fork only for several files.
    run.jobs = run.pending.size() >= 3 ? std::clamp(QThread::idealThreadCount(), 1, 2) : 1;
    if (run.jobs > 1) {
        arguments.append(QStringLiteral("-djob-count=%1").arg(run.jobs));
    }
    const QDir dir(run.dir->path());
    for (int k = 0; k < run.pending.size(); ++k) {
        const QString name = QStringLiteral("t%1.ly").arg(k);
        if (!writeFile(dir.filePath(name), run.sources.at(run.pending.at(k)).text.toUtf8())) {
            finishLater(Failure::Error, QStringLiteral("LilyPond 出错：无法写入临时文件"));
            return;
        }
        arguments.append(name);
    }

    run.limit = m_timeLimit;
    if (run.limit <= 0) {
        bool ok = false;
        const int fromEnvironment = qEnvironmentVariableIntValue("QORVEL_LILYPOND_TIMEOUT", &ok);
        run.limit = ok && fromEnvironment > 0 ? fromEnvironment : 60 + 20 * run.pending.size();
    }

    run.process = std::make_unique<GroupProcess>();
    GroupProcess *process = run.process.get();
    process->setWorkingDirectory(dir.path());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardError, this, [this] {
        m_run->errorOutput += m_run->process->readAllStandardError();
        countProgress();
    });
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                collect(status == QProcess::NormalExit ? code : -1);
            });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && m_run) {
            finishLater(Failure::Missing, missingMessage());
        }
    });
    run.timer.setSingleShot(true);
    connect(&run.timer, &QTimer::timeout, this, [this] {
        const int limit = m_run->limit;
        m_run->process->disconnect(this);
        m_run->process->killGroup();
        m_run->process->waitForFinished(2000);
        finish(Failure::TimedOut, QStringLiteral("LilyPond 排谱超时（%1 秒），已停止").arg(limit));
    });
    if (run.jobs > 1) {
        connect(&run.logPoll, &QTimer::timeout, this, [this] { countProgress(); });
        run.logPoll.start(300);
    }
    process->start(lilypond, arguments);
    run.timer.start(run.limit * 1000);
}

// The workers' logs (with -djob-count), beside the process's own error output.
QString StaffEngraver::lilyPondOutput() const {
    QByteArray all = m_run->errorOutput;
    if (m_run->jobs > 1 && m_run->dir) {
        const QDir dir(m_run->dir->path());
        for (const QString &log :
             dir.entryList({QStringLiteral("lilypond-multi-run-*.log")}, QDir::Files, QDir::Name)) {
            bool ok = true;
            all += '\n' + readFile(dir.filePath(log), &ok);
        }
    }
    return QString::fromUtf8(all);
}

void StaffEngraver::countProgress() {
    if (!m_run) {
        return;
    }
    const QString output = lilyPondOutput();
    int started = 0;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        started += processingLine().match(line).hasMatch() ? 1 : 0;
    }
    if (started == m_run->started) {
        return;
    }
    m_run->started = started;
    // A file is done when its worker has begun the next one.
    const int total = m_run->sources.size();
    const int cached = total - m_run->pending.size();
    emit progress(cached + std::max(0, started - m_run->jobs), total);
}

void StaffEngraver::collect(int exitCode) {
    Run &run = *m_run;
    run.timer.stop();
    run.logPoll.stop();
    run.errorOutput += run.process->readAllStandardError();
    const QStringList lines = lilyPondOutput().split(QLatin1Char('\n'));

    // Messages by file: warnings kept with the tune, the first error told.
    QVector<QStringList> warnings(run.pending.size());
    QVector<bool> failed(run.pending.size(), false);
    QString firstError;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = messageLine().match(lines.at(i));
        if (!m.hasMatch()) {
            continue;
        }
        const int k = m.captured(1).mid(1).chopped(3).toInt();
        if (k < 0 || k >= run.pending.size()) {
            continue;
        }
        if (m.captured(4) == QLatin1String("error")) {
            failed[k] = true;
            if (firstError.isEmpty()) {
                firstError =
                    QStringLiteral("第%1行：%2").arg(m.captured(2), m.captured(5).trimmed());
            }
            continue;
        }
        QStringList message = {lines.at(i)};
        for (int j = i + 1; j < lines.size() && j <= i + 2 && !isProgressLine(lines.at(j)); ++j) {
            message.append(lines.at(j));
        }
        warnings[k].append(message.join(QLatin1Char('\n')));
    }

    const QDir dir(run.dir->path());
    bool missing = false;
    for (int k = 0; k < run.pending.size(); ++k) {
        Tune tune;
        bool ok = true;
        for (const QString &file : pageFiles(dir, QStringLiteral("t%1").arg(k))) {
            tune.pages.append(readFile(file, &ok));
        }
        tune.warnings = warnings.at(k).join(QLatin1Char('\n'));
        if (tune.pages.isEmpty() || !ok) {
            missing = true;
            continue;
        }
        run.tunes[run.pending.at(k)] = tune;
        if (!failed.at(k)) {
            writeCached(m_cacheDirectory, run.keys.at(run.pending.at(k)), tune);
        }
    }

    if (exitCode == 0 && !missing && firstError.isEmpty()) {
        emit progress(run.sources.size(), run.sources.size());
        finish(Failure::None, QString());
        return;
    }
    if (firstError.isEmpty()) {
        // No located error: the last thing LilyPond said.
        for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
            if (!it->trimmed().isEmpty()) {
                firstError = it->trimmed();
                break;
            }
        }
        if (firstError.isEmpty()) {
            firstError =
                exitCode < 0 ? QStringLiteral("程序异常退出") : QStringLiteral("未写出任何页面");
        }
    }
    finish(Failure::Error, QStringLiteral("LilyPond 出错：") + firstError);
}

void StaffEngraver::cancel() {
    if (!m_run) {
        return;
    }
    if (m_run->process) {
        m_run->process->disconnect(this);
        m_run->process->killGroup();
        m_run->process->waitForFinished(2000);
    }
    finish(Failure::Cancelled, QString());
}

void StaffEngraver::finishLater(Failure failure, const QString &message) {
    // Told from the event loop, as a run that engraved; a run started or
    // cancelled since then makes this one stale.
    Run *run = m_run.get();
    QMetaObject::invokeMethod(
        this,
        [this, run, failure, message] {
            if (m_run.get() == run) {
                finish(failure, message);
            }
        },
        Qt::QueuedConnection);
}

void StaffEngraver::finish(Failure failure, const QString &message) {
    std::unique_ptr<Run> run = std::move(m_run);
    Result result;
    result.failure = failure;
    result.message = message;
    if (failure == Failure::None) {
        result.tunes = run->tunes;
        result.engraved = run->pending.size();
    }
    m_result = result;
    run->timer.stop();
    run->logPoll.stop();
    if (run->process) {
        run->process->disconnect(this);
    }
    // Deleted from the event loop: this may be called from a signal of the
    // run's own process or timer.
    QMetaObject::invokeMethod(
        this, [held = std::shared_ptr<Run>(run.release())] { Q_UNUSED(held) },
        Qt::QueuedConnection);
    emit finished();
}

StaffEngraver::Result StaffEngraver::engrave(const QVector<LilyPondSource> &sources) {
    QEventLoop loop;
    connect(this, &StaffEngraver::finished, &loop, &QEventLoop::quit);
    start(sources);
    if (m_run) {
        loop.exec();
    }
    return m_result;
}
