#include "dialogs/prompt.h"

#include <QColorDialog>
#include <QFileDialog>

namespace {

struct PromptState {
    Prompt::Responder responder;
    QList<Prompt::Request> history;
};

PromptState &state() {
    static PromptState s;
    return s;
}

QMessageBox::StandardButton showBox(const Prompt::Request &r,
                                    QMessageBox::StandardButton defaultButton) {
    switch (r.kind) {
    case Prompt::Kind::Information:
        return QMessageBox::information(r.parent, r.title, r.text, r.buttons, defaultButton);
    case Prompt::Kind::Warning:
        return QMessageBox::warning(r.parent, r.title, r.text, r.buttons, defaultButton);
    case Prompt::Kind::Critical:
        return QMessageBox::critical(r.parent, r.title, r.text, r.buttons, defaultButton);
    default:
        return QMessageBox::question(r.parent, r.title, r.text, r.buttons, defaultButton);
    }
}

QMessageBox::StandardButton box(Prompt::Kind kind, QWidget *parent, const QString &title,
                                const QString &text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton) {
    Prompt::Request r;
    r.kind = kind;
    r.parent = parent;
    r.title = title;
    r.text = text;
    r.buttons = buttons;
    state().history.append(r);
    if (state().responder) {
        const QVariant answer = state().responder(r);
        if (answer.isValid()) {
            return static_cast<QMessageBox::StandardButton>(answer.toInt());
        }
        if (defaultButton != QMessageBox::NoButton) {
            return defaultButton;
        }
        return (buttons & QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
    }
    return showBox(r, defaultButton);
}

} // namespace

QMessageBox::StandardButton Prompt::information(QWidget *parent, const QString &title,
                                                const QString &text) {
    return box(Kind::Information, parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompt::warning(QWidget *parent, const QString &title,
                                            const QString &text) {
    return box(Kind::Warning, parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompt::critical(QWidget *parent, const QString &title,
                                             const QString &text) {
    return box(Kind::Critical, parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QMessageBox::StandardButton Prompt::question(QWidget *parent, const QString &title,
                                             const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton) {
    return box(Kind::Question, parent, title, text, buttons, defaultButton);
}

QVariant Prompt::dispatch(const Request &request) {
    state().history.append(request);
    if (state().responder) {
        return state().responder(request);
    }
    switch (request.kind) {
    case Kind::OpenFile:
        return QFileDialog::getOpenFileName(request.parent, request.title, request.text,
                                            request.filter);
    case Kind::OpenFiles:
        return QFileDialog::getOpenFileNames(request.parent, request.title, request.text,
                                             request.filter);
    case Kind::SaveFile:
        return QFileDialog::getSaveFileName(request.parent, request.title, request.text,
                                            request.filter);
    case Kind::Directory:
        return QFileDialog::getExistingDirectory(request.parent, request.title, request.text,
                                                 QFileDialog::ShowDirsOnly);
    case Kind::Color:
        return QColorDialog::getColor(request.initialColor, request.parent, request.title);
    default:
        return {};
    }
}

QString Prompt::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                             const QString &filter) {
    Request r;
    r.kind = Kind::OpenFile;
    r.parent = parent;
    r.title = caption;
    r.text = dir;
    r.filter = filter;
    return dispatch(r).toString();
}

QStringList Prompt::openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter) {
    Request r;
    r.kind = Kind::OpenFiles;
    r.parent = parent;
    r.title = caption;
    r.text = dir;
    r.filter = filter;
    const QVariant answer = dispatch(r);
    QStringList paths = answer.toStringList();
    paths.removeAll(QString());
    return paths;
}

QString Prompt::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                             const QString &filter) {
    Request r;
    r.kind = Kind::SaveFile;
    r.parent = parent;
    r.title = caption;
    r.text = dir;
    r.filter = filter;
    return dispatch(r).toString();
}

QString Prompt::existingDirectory(QWidget *parent, const QString &caption, const QString &dir) {
    Request r;
    r.kind = Kind::Directory;
    r.parent = parent;
    r.title = caption;
    r.text = dir;
    return dispatch(r).toString();
}

QColor Prompt::color(const QColor &initial, QWidget *parent, const QString &title) {
    Request r;
    r.kind = Kind::Color;
    r.parent = parent;
    r.title = title;
    r.initialColor = initial;
    const QVariant answer = dispatch(r);
    return answer.canConvert<QColor>() ? answer.value<QColor>() : QColor();
}

void Prompt::setResponder(Responder responder) {
    state().responder = std::move(responder);
}

bool Prompt::hasResponder() {
    return bool(state().responder);
}

const QList<Prompt::Request> &Prompt::history() {
    return state().history;
}

void Prompt::clearHistory() {
    state().history.clear();
}
