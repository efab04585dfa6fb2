#pragma once

#include "OVElidingLabel.h"
#include "OVTranslations.h"
#include "UiTestSupport.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTextDocument>
#include <QTranslator>
#include <QXmlStreamReader>

using TableEntry = std::pair<QString, QString>; // context, source text

/** The entries of the English string table. */
inline const QSet<TableEntry>& englishTable() {
    static const QSet<TableEntry> entries = [] {
        QSet<TableEntry> read;
        QFile file(QStringLiteral(OV_SOURCE_DIR "/resources/translations/ovservices_en.ts"));
        if (!file.open(QIODevice::ReadOnly))
            return read;
        QXmlStreamReader xml(&file);
        QString context;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            else if (xml.name() == QLatin1String("source"))
                read.insert({context, xml.readElementText()});
        }
        return read;
    }();
    return entries;
}

/** Translates nothing and notes every text it is asked for, from any thread. */
class RecordingTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        const QMutexLocker lock(&m_mutex);
        m_asked.insert({QString::fromUtf8(context), QString::fromUtf8(source)});
        return QString();
    }
    QSet<TableEntry> asked() const {
        const QMutexLocker lock(&m_mutex);
        return m_asked;
    }
    /** The texts asked for that the English table lacks, "context: text" each, sorted; Qt's own are
     * Qt's table's (their contexts are Qt's classes: "QMessageBox"). */
    QStringList missingFromTable() const {
        static const QRegularExpression qtClass(QStringLiteral("^Q[A-Z]"));
        QStringList missing;
        for (const auto& [context, source] : asked()) {
            if (!englishTable().contains({context, source}) && !qtClass.match(context).hasMatch())
                missing << context + QStringLiteral(": ") + source;
        }
        missing.sort();
        return missing;
    }

private:
    mutable QMutex m_mutex;
    mutable QSet<TableEntry> m_asked;
};

/**
 * The pseudo string table installed while in scope (and OV_PSEUDO_LOCALE=1, which the main window
 * reads when it installs its table); the table of the environment again after. Views translate their
 * texts when they are made: make them inside the scope. A text no table answers is noted (missing()).
 */
class PseudoLocale {
public:
    PseudoLocale()
        : m_before(qgetenv("OV_PSEUDO_LOCALE")) {
        qputenv("OV_PSEUDO_LOCALE", "1");
        m_installed = OVTranslations::installPseudo();
        QCoreApplication::installTranslator(&m_recorder);
        s_current = this;
    }
    ~PseudoLocale() {
        s_current = nullptr;
        QCoreApplication::removeTranslator(&m_recorder);
        if (m_before.isNull())
            qunsetenv("OV_PSEUDO_LOCALE");
        else
            qputenv("OV_PSEUDO_LOCALE", m_before);
        OVTranslations::installForEnvironment();
    }
    PseudoLocale(const PseudoLocale&) = delete;
    PseudoLocale& operator=(const PseudoLocale&) = delete;
    bool isInstalled() const { return m_installed; }
    /** The texts translated in the scope that the English table lacks: lupdate did not see them. */
    static QStringList missing() {
        return s_current ? s_current->m_recorder.missingFromTable() : QStringList();
    }

private:
    QByteArray m_before;
    bool m_installed = false;
    RecordingTranslator m_recorder;
    static inline PseudoLocale* s_current = nullptr;
};

/**
 * Patterns matching the English source texts of the string table that have a letter of their own,
 * their placeholders standing for any text: a shown text matching one was not translated.
 */
inline const QList<QRegularExpression>& englishSourceTexts() {
    static const QList<QRegularExpression> patterns = [] {
        QList<QRegularExpression> list;
        static const QRegularExpression placeholder(QStringLiteral("%L?\\d+|%n"));
        for (const auto& [context, source] : englishTable()) {
            QString pattern;
            int from = 0;
            for (auto it = placeholder.globalMatch(source); it.hasNext();) {
                const auto match = it.next();
                pattern += QRegularExpression::escape(source.mid(from, match.capturedStart() - from)) +
                           QStringLiteral(".*");
                from = match.capturedEnd();
            }
            pattern += QRegularExpression::escape(source.mid(from));
            if (QString(source).remove(placeholder).contains(QRegularExpression(QStringLiteral("\\p{L}"))))
                list << QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                           QRegularExpression::DotMatchesEverythingOption);
        }
        return list;
    }();
    return patterns;
}

/** Whether a shown text is a translation by the pseudo table: it ends its text in "~]". */
inline bool isPseudoText(const QString& text) {
    return text.contains(QStringLiteral("~]"));
}

/** Whether widget, inside a scrolled list, lies within the list's width: no row needs a sideways scroll. */
inline bool withinScrolledWidth(const QWidget* widget) {
    for (const QWidget* parent = widget->parentWidget(); parent; parent = parent->parentWidget()) {
        if (const auto* area = qobject_cast<const QAbstractScrollArea*>(parent);
            area && area->viewport()->isAncestorOf(widget)) {
            const QRect inViewport(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
            return inViewport.left() >= 0 && inViewport.right() < area->viewport()->width();
        }
    }
    return true;
}

/**
 * What is wrong with the translatable texts shown in widget under the pseudo table, one line each
 * ("objectName "text": why"): a text left in English, and a text that does not fit its place. Texts
 * that are data (serials, numbers, names) are neither: they are in no table.
 */
inline QStringList pseudoLocaleFaults(QWidget* widget) {
    QStringList faults;
    const auto check = [&faults](const QWidget* owner, const QString& text, const QSize& needed,
                                 const QSize& room) {
        const QString plain = QString(text).remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        const bool pseudo = isPseudoText(plain);
        const bool english = !pseudo && std::any_of(englishSourceTexts().begin(), englishSourceTexts().end(),
                                                    [&text](const QRegularExpression& source) {
                                                        return source.match(text).hasMatch();
                                                    });
        const QString where =
            QStringLiteral("%1 \"%2\": ").arg(owner->objectName(), plain.simplified().left(60));
        if (english)
            faults << where + QStringLiteral("not translated");
        if ((pseudo || english) && (needed.width() > room.width() || needed.height() > room.height()))
            faults << where + QStringLiteral("clipped (needs %1x%2, has %3x%4)")
                                  .arg(needed.width())
                                  .arg(needed.height())
                                  .arg(room.width())
                                  .arg(room.height());
    };
    const auto textSize = [](const QFontMetrics& metrics, const QString& text) {
        return metrics.size(Qt::TextShowMnemonic, text);
    };
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(widget) || !child->isVisible())
            continue;
        const QFontMetrics metrics(child->font());
        QStyle* style = child->style();
        if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) {
            const int inset = label->margin() + std::max(0, label->indent());
            const QRect room =
                label->contentsRect().adjusted(inset, label->margin(), -inset, -label->margin());
            QSize needed;
            if (label->textFormat() == Qt::RichText ||
                (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
                QTextDocument document;
                document.setDefaultFont(label->font());
                document.setDocumentMargin(0);
                document.setHtml(label->text());
                if (label->wordWrap())
                    document.setTextWidth(room.width());
                needed = QSize(std::ceil(document.idealWidth()), std::ceil(document.size().height()));
            } else if (label->wordWrap()) {
                needed =
                    metrics.boundingRect(QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap, label->text())
                        .size();
            } else {
                needed = textSize(metrics, label->text());
            }
            // An eliding label ends what does not fit with "…" and shows the whole text as its tool tip.
            check(label, label->text(), needed, qobject_cast<OVElidingLabel*>(label) ? needed : room.size());
        } else if (auto* button = qobject_cast<QAbstractButton*>(child);
                   button && !button->text().isEmpty()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            option.icon = button->icon();
            option.iconSize = button->iconSize();
            QRect room = button->contentsRect();
            // A push button's label may use all but the margin and frame its style sizes it with.
            if (qobject_cast<QPushButton*>(button))
                room.setWidth(button->width() - style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) -
                              2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button));
            else if (qobject_cast<QCheckBox*>(button))
                room = style->subElementRect(QStyle::SE_CheckBoxContents, &option, button);
            else if (qobject_cast<QRadioButton*>(button))
                room = style->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
            QSize needed = textSize(metrics, button->text());
            if (!button->icon().isNull() && qobject_cast<QPushButton*>(button))
                needed.rwidth() += button->iconSize().width() + 4;
            check(button, button->text(), needed, room.size());
            if (!withinScrolledWidth(button))
                faults << QStringLiteral("%1 \"%2\": out of sight (its row is wider than the list)")
                              .arg(button->objectName(), button->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(child); group && !group->title().isEmpty()) {
            check(group, group->title(), textSize(metrics, group->title()), group->size());
        } else if (auto* combo = qobject_cast<QComboBox*>(child)) {
            // Every entry must be translated; the current one must fit the box.
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i)
                check(combo, combo->itemText(i), textSize(metrics, combo->itemText(i)),
                      i == combo->currentIndex() ? field.size() : QSize(1 << 20, 1 << 20));
        } else if (auto* tabs = qobject_cast<QTabBar*>(child)) {
            const int space = style->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, tabs);
            for (int i = 0; i < tabs->count(); ++i)
                check(tabs, tabs->tabText(i), textSize(metrics, tabs->tabText(i)) + QSize(space, 0),
                      tabs->tabRect(i).size());
        } else if (auto* header = qobject_cast<QHeaderView*>(child); header && header->model()) {
            const int margin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            const bool horizontal = header->orientation() == Qt::Horizontal;
            for (int section = 0; section < header->count(); ++section) {
                if (header->isSectionHidden(section))
                    continue;
                const QString text =
                    header->model()->headerData(section, header->orientation(), Qt::DisplayRole).toString();
                const QSize needed = textSize(metrics, text) + QSize(2 * margin, 0);
                const int size = header->sectionSize(section);
                check(header, text, needed,
                      horizontal ? QSize(size, header->height()) : QSize(header->width(), size));
            }
        }
    }
    return faults;
}

/**
 * Saves <name>-pseudo.png of a view made under PseudoLocale and checks its texts; false when the file
 * could not be written, a text is untranslated or clipped, or a text translated so far is missing
 * from the English table (the texts are listed as a warning).
 */
inline bool savePseudoScreenshot(QWidget* widget, const QString& name) {
    const bool saved = saveScreenshot(widget, name + QStringLiteral("-pseudo"));
    QStringList faults = pseudoLocaleFaults(widget);
    for (const QString& text : PseudoLocale::missing())
        faults << QStringLiteral("missing from the string table: ") + text;
    if (!faults.isEmpty())
        qWarning("%s in the pseudo locale:\n%s", qPrintable(name),
                 qPrintable(faults.join(QLatin1Char('\n'))));
    return saved && faults.isEmpty();
}
