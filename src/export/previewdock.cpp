#include "export/previewdock.h"

#include "export/exporter.h"
#include "export/exportsettingsform.h"
#include "export/previewpane.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyle>

PreviewDock::PreviewDock(QWidget *parent, const DocumentLines &lines)
    : QDockWidget(QStringLiteral("预览"), parent)
    , m_pane(new PreviewPane(this, lines))
    , m_settings(new ExportSettingsForm(this))
    , m_exporter(new Exporter(m_pane, m_settings, this)) {
    setObjectName(QStringLiteral("previewDock"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable |
                QDockWidget::DockWidgetClosable);
    setWidget(m_pane);
    toggleViewAction()->setObjectName(QStringLiteral("previewDockAction"));
    toggleViewAction()->setText(QStringLiteral("预览"));
    toggleViewAction()->setToolTip(QStringLiteral("显示或隐藏预览"));

    connect(m_settings, &ExportSettingsForm::changed, m_pane, &PreviewPane::refreshPreview);
    connect(m_settings, &ExportSettingsForm::exportRequested, this, &PreviewDock::exportDocument);
    connect(m_pane, &PreviewPane::settingsRequested, this, &PreviewDock::showSettings);
    connect(m_pane, &PreviewPane::exportRequested, this, &PreviewDock::exportDocument);
    connect(m_pane, &PreviewPane::closeRequested, this, &QWidget::close);
    connect(m_pane, &PreviewPane::wideToggled, this, &PreviewDock::setWide);
    connect(m_exporter, &Exporter::exported, this, &PreviewDock::exported);
}

Typesetter *PreviewDock::engine() const {
    return m_pane->engine();
}

void PreviewDock::setLines(const DocumentLines &lines) {
    m_pane->setLines(lines);
}

bool PreviewDock::exportDocument() {
    QWidget *over = m_settings->isVisible()
                        ? static_cast<QWidget *>(m_settings)
                        : (isVisible() ? static_cast<QWidget *>(this) : parentWidget());
    return m_exporter->run(over);
}

void PreviewDock::showSettings() {
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void PreviewDock::keyPressEvent(QKeyEvent *event) {
    // Floating, the pane is a window of its own, and Esc closes it; docked,
    // Esc belongs to the main window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && isFloating()) {
        close();
        event->accept();
        return;
    }
    QDockWidget::keyPressEvent(event);
}

void PreviewDock::closeEvent(QCloseEvent *event) {
    // Closed in 预览全部, it comes back as it was before.
    if (m_pane->isWide()) {
        m_pane->setWide(false);
        setWide(false);
    }
    QDockWidget::closeEvent(event);
}

void PreviewDock::setWide(bool wide) {
    if (wide) {
        m_wasFloating = isFloating();
        m_floatingGeometry = geometry();
        const QWidget *anchor = parentWidget() ? parentWidget()->window() : this;
        QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
        setFloating(true);
        if (screen) {
            const QRect available = screen->availableGeometry();
            const QSize size(available.width() * 9 / 10, available.height() * 9 / 10);
            setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
        }
        show();
        raise();
        activateWindow();
        return;
    }
    if (!isFloating()) {
        return;
    }
    if (m_wasFloating) {
        setGeometry(m_floatingGeometry);
    } else {
        setFloating(false);
    }
}
