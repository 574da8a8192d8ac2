#include "book/bookfile.h"

#include "model/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace {

// The keys, in the order toText() writes them.
const QString titleKey = QStringLiteral("书名");
const QString subtitleKey = QStringLiteral("副题");
const QString editorKey = QStringLiteral("编者");
const QString notationKey = QStringLiteral("谱式");
const QString schemeKey = QStringLiteral("方案");
const QString rightPageKey = QStringLiteral("右页起");
const QString partKey = QStringLiteral("卷");
const QString scoreKey = QStringLiteral("曲");

const QString yes = QStringLiteral("是");
const QString no = QStringLiteral("否");

QString lineError(int line, const QString &what) {
    return QStringLiteral("第%1行：%2").arg(line).arg(what);
}

// The position of the first "=" or "＝" of text, -1 when it has none.
int separatorOf(const QString &text) {
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('=') || text.at(i) == QChar(0xFF1D)) {
            return i;
        }
    }
    return -1;
}

bool isComment(const QString &trimmed) {
    return trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QChar(0xFF03));
}

} // namespace

QString BookFile::failureTitle() {
    return QStringLiteral("曲谱集");
}

QString BookFile::notationText(PageStyle::Notation notation) {
    switch (notation) {
    case PageStyle::Notation::Jianpu:
        return QStringLiteral("简谱");
    case PageStyle::Notation::Staff:
        return QStringLiteral("五线谱");
    case PageStyle::Notation::Gongche:
        break;
    }
    return QStringLiteral("工尺谱");
}

bool BookFile::notationFromText(const QString &text, PageStyle::Notation *notation) {
    static const struct {
        const char *chinese;
        const char *english;
        PageStyle::Notation notation;
    } names[] = {{"工尺谱", "gongche", PageStyle::Notation::Gongche},
                 {"简谱", "jianpu", PageStyle::Notation::Jianpu},
                 {"五线谱", "staff", PageStyle::Notation::Staff}};
    for (const auto &name : names) {
        if (text == QString::fromUtf8(name.chinese) ||
            text.compare(QLatin1String(name.english), Qt::CaseInsensitive) == 0) {
            *notation = name.notation;
            return true;
        }
    }
    return false;
}

Outcome BookFile::parse(const QString &text) {
    BookFile book;
    book.m_path = m_path;
    QStringList seen; // the keys that may be given once
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QString line = lines.at(i);
        if (i == 0 && line.startsWith(QChar(0xFEFF))) {
            line.remove(0, 1);
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || isComment(trimmed)) {
            continue;
        }
        const int at = separatorOf(trimmed);
        if (at < 0) {
            return Outcome::failure(
                failureTitle(),
                lineError(number, QStringLiteral("缺少“=”，应写作“项目=内容”：“%1”").arg(trimmed)));
        }
        const QString key = trimmed.left(at).trimmed();
        const QString value = trimmed.mid(at + 1).trimmed();
        const bool repeatable = key == partKey || key == scoreKey;
        const QStringList known = {titleKey,  subtitleKey,  editorKey, notationKey,
                                   schemeKey, rightPageKey, partKey,   scoreKey};
        if (!known.contains(key)) {
            return Outcome::failure(failureTitle(),
                                    lineError(number, QStringLiteral("未知的项目“%1”").arg(key)));
        }
        if (!repeatable && seen.contains(key)) {
            return Outcome::failure(failureTitle(),
                                    lineError(number, QStringLiteral("项目“%1”重复").arg(key)));
        }
        seen.append(key);
        if (value.isEmpty() && key != subtitleKey && key != editorKey && key != schemeKey) {
            return Outcome::failure(failureTitle(),
                                    lineError(number, QStringLiteral("“%1”缺少内容").arg(key)));
        }
        if (key == titleKey) {
            book.m_title = value;
        } else if (key == subtitleKey) {
            book.m_subtitle = value;
        } else if (key == editorKey) {
            book.m_editor = value;
        } else if (key == notationKey) {
            PageStyle::Notation notation = PageStyle::Notation::Gongche;
            if (!notationFromText(value, &notation)) {
                return Outcome::failure(
                    failureTitle(),
                    lineError(number,
                              QStringLiteral("谱式“%1”无效，应为工尺谱、简谱或五线谱").arg(value)));
            }
            book.m_notation = notation;
        } else if (key == schemeKey) {
            book.m_scheme = value;
        } else if (key == rightPageKey) {
            if (value != yes && value != no) {
                return Outcome::failure(
                    failureTitle(),
                    lineError(number, QStringLiteral("右页起“%1”无效，应为是或否").arg(value)));
            }
            book.m_rightPageStart = value == yes;
        } else if (key == partKey) {
            book.m_items.append({Item::Kind::Part, value, number});
        } else {
            if (!value.endsWith(QStringLiteral(".gcp"), Qt::CaseInsensitive)) {
                return Outcome::failure(
                    failureTitle(),
                    lineError(number, QStringLiteral("“%1”不是曲谱文件（.gcp）").arg(value)));
            }
            book.m_items.append({Item::Kind::Score, value, number});
        }
    }
    if (book.scoreCount() == 0) {
        return Outcome::failure(failureTitle(),
                                QStringLiteral("曲谱集中没有曲谱，请用“曲=文件.gcp”加入曲谱"));
    }
    *this = book;
    return Outcome::success(m_path);
}

Outcome BookFile::read(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Outcome::failure(failureTitle(), QStringLiteral("无法打开曲谱集文件“%1”").arg(path));
    }
    const QString before = m_path;
    m_path = path;
    const Outcome parsed = parse(QString::fromUtf8(file.readAll()));
    if (!parsed) {
        m_path = before;
    }
    return parsed;
}

QString BookFile::toText() const {
    QString text;
    const auto line = [&text](const QString &key, const QString &value) {
        text += key + QLatin1Char('=') + value + QLatin1Char('\n');
    };
    if (!m_title.isEmpty()) {
        line(titleKey, m_title);
    }
    if (!m_subtitle.isEmpty()) {
        line(subtitleKey, m_subtitle);
    }
    if (!m_editor.isEmpty()) {
        line(editorKey, m_editor);
    }
    if (m_notation) {
        line(notationKey, notationText(*m_notation));
    }
    if (!m_scheme.isEmpty()) {
        line(schemeKey, m_scheme);
    }
    if (m_rightPageStart) {
        line(rightPageKey, yes);
    }
    for (const Item &item : m_items) {
        line(item.kind == Item::Kind::Part ? partKey : scoreKey, item.value);
    }
    return text;
}

Outcome BookFile::write(const QString &path) {
    const Outcome written = AtomicFile::writeWhole(path, toText().toUtf8());
    if (written) {
        m_path = path;
    }
    return written;
}

QString BookFile::resolve(const QString &relative) const {
    if (QDir::isAbsolutePath(relative)) {
        return QDir::cleanPath(relative);
    }
    const QDir base = m_path.isEmpty() ? QDir::current() : QFileInfo(m_path).absoluteDir();
    return QDir::cleanPath(base.absoluteFilePath(relative));
}

QString BookFile::schemePath() const {
    if (m_scheme.isEmpty()) {
        return QString();
    }
    const QString path = resolve(m_scheme);
    if (!path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) && !QFileInfo(path).isFile()) {
        return path + QStringLiteral(".json");
    }
    return path;
}

int BookFile::scoreCount() const {
    return int(std::count_if(m_items.begin(), m_items.end(),
                             [](const Item &item) { return item.kind == Item::Kind::Score; }));
}
