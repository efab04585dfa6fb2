#include "OVSessionSyncInfo.h"

#include "OVDeviceViewPalette.h"
#include "OVOrvaneCell.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVSessionSyncStatus.h"
#include "OVStyleManager.h"
#include "OVView.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace {

QLabel* textField(QWidget* parent, const QColor& color, const QString& accessibleName) {
    auto* label = new QLabel(parent);
    OVOrvaneCell::setTextColor(label, color);
    label->setAccessibleName(accessibleName);
    // Narrow windows shrink the text columns rather than push the status out of sight.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(40);
    return label;
}

/**
 * The status badge's width: its usual 140 px, or more where a status text of the current language is
 * longer; the same for every row, so that the badges line up.
 */
int badgeWidth(const QFont& font, int margins) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const bool corrupted : {false, true}) {
        for (int status = OVSessionSyncStatusNone; status <= OVSessionSyncStatusCrcChecking; ++status) {
            OVSession session;
            session.setSyncStatus(status);
            session.setCrcCorruption(corrupted);
            session.setPercentage(0); // a progress text takes a few more digits from the room around it
            if (const auto appearance = OVSessionRowAppearance::forSession(session))
                widest = std::max(widest, metrics.horizontalAdvance(appearance->text.simplified()));
        }
    }
    return std::max(140, widest + margins);
}

} // namespace

OVSessionSyncInfo::OVSessionSyncInfo(QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(8);
    username = textField(this, OVStyleManager::getOrvane_SessionUsernameColor(), tr("User"));
    start = textField(this, OVStyleManager::getOrvane_SessionDateColor(), tr("Start"));
    duration = textField(this, OVStyleManager::getOrvane_SessionDateColor(), tr("Duration"));
    syncStatusBackground = new OVView(this);
    auto* badge = new QHBoxLayout(syncStatusBackground);
    badge->setContentsMargins(8, 3, 8, 3);
    syncStatus = textField(syncStatusBackground, Qt::white, tr("Status"));
    syncStatusBackground->setFixedWidth(badgeWidth(syncStatus->font(), 16));
    syncStatus->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
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
    duration->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    duration->setFixedWidth(64);
    row->addWidget(username, 2);
    row->addWidget(start, 3);
    row->addWidget(duration);
    row->addWidget(syncStatusBackground);
    row->addWidget(syncError);
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
