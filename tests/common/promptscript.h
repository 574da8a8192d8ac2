#pragma once

#include "dialogs/prompt.h"

#include <QQueue>
#include <QVariant>

// Answers the program's modal dialogs during a test without an event loop.
// Queue answers with answer(); a request with no queued answer gets the
// default (Ok, the default button, an empty path, no colour). Everything
// shown is in Prompt::history().
class PromptScript {
public:
    PromptScript() {
        Prompt::clearHistory();
        Prompt::setResponder([this](const Prompt::Request &) {
            return m_answers.isEmpty() ? QVariant() : m_answers.dequeue();
        });
    }
    ~PromptScript() { Prompt::setResponder({}); }
    PromptScript(const PromptScript &) = delete;
    PromptScript &operator=(const PromptScript &) = delete;

    void answer(const QVariant &v) { m_answers.enqueue(v); }
    void answer(QMessageBox::StandardButton b) { m_answers.enqueue(int(b)); }

    const QList<Prompt::Request> &shown() const { return Prompt::history(); }
    int count() const { return Prompt::history().size(); }
    const Prompt::Request &last() const { return Prompt::history().constLast(); }
    void clear() { Prompt::clearHistory(); }

private:
    QQueue<QVariant> m_answers;
};
