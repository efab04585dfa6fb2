#include "OVSessionSyncInfo.h"

#include "OVDeviceViewPalette.h"
#include "OVElidingLabel.h"
#include "OVOrvaneCell.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVStyleManager.h"
#include "OVView.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>

namespace {

/**
 * The status badge's width, the same for every row so that the badges line up: a status text of a
 * longer language takes more lines (the row grows), so that the user name keeps its room.
 */
constexpr int kBadgeWidth = 140;

QLabel* textField(QWidget* parent, const QColor& color, const QString& accessibleName,
                  QLabel* label = nullptr) {
    label = label ? label : new QLabel(parent);
    OVOrvaneCell::setTextColor(label, color);
    label->setAccessibleName(accessibleName);
    // Narrow windows shrink the text columns rather than push the status out of sight.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(40);
    return label;
}

/** The start column's width: the widest start of the current language, so that the columns line up. */
int startWidth(const QFont& font) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (int month = 1; month <= 12; ++month) {
        for (const QTime time : {QTime(10, 58), QTime(23, 58)})
            widest = std::max(widest, metrics.horizontalAdvance(OVSessionSyncInfo::startText(
                                          QDateTime(QDate(2000, month, 28), time))));
    }
    return widest + 2;
}

} // namespace

OVSessionSyncInfo::OVSessionSyncInfo(QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(8);
    username = textField(this, OVStyleManager::getOrvane_SessionUsernameColor(), tr("User"),
                         new OVElidingLabel(this));
    start = textField(this, OVStyleManager::getOrvane_SessionDateColor(), tr("Start"));
    duration = textField(this, OVStyleManager::getOrvane_SessionDateColor(), tr("Duration"));
    syncStatusBackground = new OVView(this);
    auto* badge = new QHBoxLayout(syncStatusBackground);
    badge->setContentsMargins(8, 3, 8, 3);
    syncStatus = textField(syncStatusBackground, Qt::white, tr("Status"));
    syncStatusBackground->setFixedWidth(kBadgeWidth);
    syncStatus->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    syncStatus->setWordWrap(true);
    percentage =
        textField(syncStatusBackground, OVStyleManager::getOrvane_SessionSynchingColor(), tr("Percentage"));
    badge->addWidget(syncStatus);
    badge->addWidget(percentage);
    syncError = new QLabel(this);
    syncError->setFixedSize(18, 18);
    syncError->setPixmap(OVDeviceViewPalette::image(QStringLiteral("sync_error"), 18));
    syncError->setAccessibleName(tr("Sync error"));
    progress = new QProgressBar(this);
    progress->hide();
    percentage->hide();
    // The icon keeps its place when hidden, so that every status badge lines up.
    QSizePolicy keepPlace = syncError->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    syncError->setSizePolicy(keepPlace);
    syncError->hide();
    // The date and the duration are never cut: the user name takes what is left.
    for (QLabel* fixed : {start, duration})
        fixed->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    start->setFixedWidth(startWidth(start->font()));
    duration->setFixedWidth(QFontMetrics(duration->font()).horizontalAdvance(QStringLiteral("00:00:00")) + 2);
    row->addWidget(username, 1);
    row->addWidget(start);
    row->addWidget(duration);
    row->addWidget(syncStatusBackground);
    row->addWidget(syncError);
}

QString OVSessionSyncInfo::startText(const QDateTime& start) {
    const QLocale locale;
    return locale.toString(start.date(), QStringLiteral("d MMM yyyy")) + QLatin1Char(' ') +
           locale.toString(start.time(), QLocale::ShortFormat);
}

int OVSessionSyncInfo::rowHeight() const {
    // Every badge is as wide: the lines of the status, and so the row's height, follow from it alone
    // (not from the table's width, which is not known before the table is shown).
    const QMargins badge = syncStatusBackground->layout()->contentsMargins();
    const QMargins row = layout()->contentsMargins();
    const int status = syncStatus->heightForWidth(kBadgeWidth - badge.left() - badge.right());
    return std::max(sizeHint().height(), status + badge.top() + badge.bottom() + row.top() + row.bottom());
}

void OVSessionSyncInfo::setSyncStatus(const OVSession& session) {
    const auto appearance = OVSessionRowAppearance::forSession(session);
    if (!appearance)
        return;
    progress->setValue(0);
    progress->hide();
    percentage->clear();
    percentage->hide();
    syncStatus->setText(appearance->text);
    const QColor badge = OVDeviceViewPalette::color(appearance->background);
    syncStatusBackground->setBackgroundColor(badge);
    OVOrvaneCell::setTextColor(syncStatus, OVStyleManager::textOn(badge));
    syncStatusBackground->show();
    syncStatus->show();
    syncError->setVisible(appearance->errorShown);
    if (appearance->errorToolTip)
        syncError->setToolTip(*appearance->errorToolTip);
    update();
}
