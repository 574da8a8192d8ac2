#pragma once

#include <QByteArray>
#include <QColor>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <QVector>

class QPainter;
class QStringRef;

// An SVG page drawn elsewhere (a LilyPond page), split into its drawing and
// its text: Qt's SVG renderer draws text as outlines on a PDF page, where it
// could no longer be searched or copied, so the text is drawn apart, as
// text, with the painter's own fonts. No widgets.
class SvgPageText {
public:
    struct Item {
        QTransform transform; // from the text's own units to the view box
        QPointF position;     // the start of its baseline (before the anchor)
        QString family;
        qreal size = 1;
        bool bold = false;
        bool italic = false;
        Qt::Alignment anchor = Qt::AlignLeft; // AlignHCenter for "middle", AlignRight for "end"
        QColor color;
        QString text;

        // No letter or digit in it: a sign such as 、○●× rather than words.
        bool isSign() const;
    };

    // Parses svg: the page without its text elements, and the text.
    explicit SvgPageText(const QByteArray &svg);

    const QByteArray &drawing() const { return m_drawing; }
    const QVector<Item> &items() const { return m_items; }
    QRectF viewBox() const { return m_viewBox; }

    // Draws the page to fill target: the drawing through QSvgRenderer (a
    // renderer of its own, so that pages may be drawn on several threads),
    // then the text.
    void render(QPainter &painter, const QRectF &target) const;

    // An SVG transform list ("translate(3, 4) scale(0.004, -0.004)") as one
    // transform: the rightmost applies first.
    static QTransform transformOf(const QStringRef &text);
    // The numbers of an SVG list ("0 0 119.5 169", "M218 136c66 0"), in order.
    static QVector<qreal> numbersOf(const QString &text);

private:
    void sortItems();

    QByteArray m_drawing;
    QVector<Item> m_items;
    QRectF m_viewBox;
};
