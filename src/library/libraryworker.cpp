#include "library/libraryworker.h"

LibraryWorker::LibraryWorker(const QString &indexPath)
    : m_indexPath(indexPath) {}

LibraryWorker::~LibraryWorker() = default;

void LibraryWorker::run(const QStringList &folders, bool prune, bool rebuild) {
    if (!m_index) {
        m_index = std::make_unique<LibraryIndex>();
        // The user-interface thread has checked the file already.
        const Outcome opened = m_index->open(m_indexPath, false);
        if (!opened) {
            m_index.reset();
            emit failed(opened.message());
            return;
        }
    }
    if (prune) {
        m_index->prune(folders);
    }
    const auto report = [this](int done, int total) {
        emit progress(done, total);
        return !m_stop;
    };
    emit finished(rebuild ? m_index->rebuild(folders, report) : m_index->update(folders, report));
}

void LibraryWorker::shutDown() {
    m_index.reset();
}
