#include "MessageBoxViewController.h"
#include "OVBaseViewController.h"
#include "OVButton.h"
#include "OVIndicatorStyle.h"
#include "OVStyleManager.h"
#include "OVTestCapture.h"
#include "OVView.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

class tst_OVCommonControls : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A view fills only with a colour it was given; a button draws only the gradient and border it was
    // given (no title: only the fills are compared; the first gradient stop is at the bottom).
    void paintsOnlyWhatItIsGiven_data() {
        QTest::addColumn<bool>("button");
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QColor>("centre");
        QTest::addColumn<QColor>("edge");
        const QColor green(70, 136, 71), clear(Qt::transparent), grey(127, 127, 127);
        QTest::newRow("view never set: transparent") << false << QStringList{} << clear << clear;
        QTest::newRow("view set") << false << QStringList{u"green"_s} << green << green;
        QTest::newRow("view set, then none: transparent, never black")
            << false << QStringList{u"green"_s, u"none"_s} << clear << clear;
        QTest::newRow("button, nothing: no bezel") << true << QStringList{} << clear << clear;
        QTest::newRow("button, gradient") << true << QStringList{u"gradient"_s} << grey << QColor(0, 0, 254);
        QTest::newRow("button, gradient and border")
            << true << QStringList{u"gradient"_s, u"border"_s} << grey << QColor(Qt::red);
    }
    void paintsOnlyWhatItIsGiven() {
        QFETCH(bool, button);
        QFETCH(QStringList, given);
        QFETCH(QColor, centre);
        QFETCH(QColor, edge);
        OVView view;
        OVButton bezel;
        view.resize(20, 20);
        bezel.resize(40, 101);
        for (const QString& step : given) {
            if (step == u"gradient"_s)
                bezel.setGradient({{0.0, QColor(0, 0, 255)}, {1.0, QColor(255, 255, 0)}});
            else if (step == u"border"_s)
                bezel.setBorderColor(Qt::red);
            else
                view.setBackgroundColor(step == u"green"_s ? QBrush(QColor(70, 136, 71)) : QBrush());
        }
        QWidget& widget = button ? static_cast<QWidget&>(bezel) : view;
        QImage image(widget.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        const auto close = [](QColor a, QColor b) {
            return qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 &&
                   qAbs(a.blue() - b.blue()) <= 3 && a.alpha() == b.alpha();
        };
        for (const auto& [at, expected] : {std::pair{QPoint(widget.width() / 2, widget.height() / 2), centre},
                                           std::pair{QPoint(widget.width() / 2, widget.height() - 1), edge}})
            QVERIFY2(close(image.pixelColor(at), expected),
                     qPrintable(image.pixelColor(at).name(QColor::HexArgb)));
    }

    // What the click was wired to ("target", "action", "gone": the target destroyed before the click).
    void viewClick_data() {
        QTest::addColumn<QString>("wiring");
        QTest::addColumn<bool>("fires");
        QTest::newRow("target and action") << u"target action"_s << true;
        QTest::newRow("no target") << u"action"_s << false;
        QTest::newRow("no action") << u"target"_s << false;
        QTest::newRow("target destroyed") << u"target action gone"_s << false;
    }
    void viewClick() {
        QFETCH(QString, wiring);
        QFETCH(bool, fires);
        OVView view;
        view.resize(20, 20);
        view.show();
        auto target = std::make_unique<QObject>();
        QList<OVView*> senders;
        OVView::ClickAction action = [&](OVView* from) { senders << from; };
        view.onClick(wiring.contains(u"target"_s) ? target.get() : nullptr,
                     wiring.contains(u"action"_s) ? action : nullptr);
        if (wiring.contains(u"gone"_s))
            target.reset();
        QTest::mouseClick(&view, Qt::LeftButton);
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_Return);
        // Once for the click, once for Return.
        QCOMPARE(senders, fires ? (QList<OVView*>{&view, &view}) : QList<OVView*>());
    }

    void buttonTitleColourDoesNotRepaintForEver() {
        OVButton button;
        button.setText(u"Sign In"_s);
        button.setTextColor(Qt::white);
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        button.repaint();
        // A paint that changed the button's own palette would have queued another one.
        QTest::qWait(50);
        QVERIFY(!button.testAttribute(Qt::WA_SetPalette));
    }

    // The panel covers its owner and follows its size; Cancel without a callback and a click on the
    // dimmed area leave it; Tab and Shift+Tab go round its buttons, the controls under the dimmed area
    // out of reach; without buttons only the owner can take it off.
    void messageBox_data() {
        QTest::addColumn<bool>("buttons");
        QTest::newRow("OK and Cancel") << true;
        QTest::newRow("a wait without buttons") << false;
    }
    void messageBox() {
        QFETCH(bool, buttons);
        QWidget owner;
        owner.resize(400, 300);
        int ownerClicks = 0;
        auto* below = new OVView(&owner);
        below->setGeometry(owner.rect());
        below->onClick(&owner, [&ownerClicks](OVView*) { ++ownerClicks; });
        auto* erase = new QPushButton(u"Erase"_s, &owner);
        owner.show();
        owner.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&owner));
        erase->setFocus();
        MessageBoxViewController box;
        QVERIFY(box.progressIndicator()->isHidden() && box.circularProgressIndicator()->isHidden());
        int oks = 0;
        box.setOnOkBlock([&] {
            ++oks;
            box.hideMessage();
        });
        box.showMessage(&owner, u"Erase the device?"_s, buttons, buttons);
        QCOMPARE(box.geometry(), owner.rect());
        QCOMPARE(box.labelMessage()->text(), u"Erase the device?"_s);
        QCOMPARE(box.okButton()->isHidden() && box.cancelButton()->isHidden(), !buttons);
        for (const Qt::KeyboardModifier modifier :
             {Qt::NoModifier, Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier, Qt::ShiftModifier}) {
            QWidget* focused = QApplication::focusWidget();
            QVERIFY(focused == &box || box.isAncestorOf(focused));
            QTest::keyClick(focused, modifier == Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab, modifier);
        }
        QVERIFY(!erase->hasFocus());
        if (buttons)
            QTest::mouseClick(box.cancelButton(), Qt::LeftButton);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(box.isVisible());
        QCOMPARE(ownerClicks, 0);
        owner.resize(500, 400);
        QCOMPARE(box.geometry(), owner.rect());
        if (buttons) {
            QTest::mouseClick(box.okButton(), Qt::LeftButton);
            QCOMPARE(oks, 1);
            QVERIFY(!box.isVisible());
        }
    }

    // An unticked box or button must be seen on the light and the dark desktop alike (3:1).
    void indicatorFramesStandOut_data() {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("radio");
        for (const bool dark : {false, true}) {
            for (const bool radio : {false, true})
                QTest::addRow("%s %s", dark ? "dark" : "light", radio ? "radio button" : "check box")
                    << dark << radio;
        }
    }
    void indicatorFramesStandOut() {
        QFETCH(bool, dark);
        QFETCH(bool, radio);
        OVIndicatorStyle::install();
        QPalette palette = QApplication::palette();
        if (dark) {
            for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(45, 45, 48)},
                                               {QPalette::Base, QColor(30, 30, 32)},
                                               {QPalette::Text, QColor(230, 230, 230)}})
                palette.setColor(role, colour);
        }
        QWidget host;
        host.setPalette(palette);
        host.setAutoFillBackground(true);
        host.resize(40, 30);
        QAbstractButton* button =
            radio ? static_cast<QAbstractButton*>(new QRadioButton(&host)) : new QCheckBox(&host);
        button->move(5, 5);
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect indicator =
            button->style()
                ->subElementRect(radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator,
                                 &option, button)
                .translated(button->pos());
        const QImage image = host.grab().toImage();
        const QColor around = palette.color(QPalette::Window);
        double best = 0;
        for (int y = indicator.top(); y <= indicator.bottom(); ++y) {
            for (int x = indicator.left(); x <= indicator.right(); ++x)
                best = std::max(best, OVStyleManager::contrast(image.pixelColor(x, y), around));
        }
        QVERIFY2(best >= 3.0, qPrintable(QString::number(best, 'f', 2)));
    }

    void exceptionLogging() {
        const auto capture = OVLogCapture::install();
        OVBaseViewController::logException(std::make_exception_ptr(std::runtime_error("no such row")),
                                           u"reloadBatteryLevelForRow"_s);
        const QStringList lines = capture->lines();
        OVLogCapture::uninstall();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(
            lines[0].startsWith(u"An exception occurred during reloadBatteryLevelForRow. Exception: "_s) &&
                lines[0].contains(u"no such row"_s) && lines[1].startsWith(u"Backtrace:\n"_s),
            qPrintable(lines.join(u'|')));
    }
};

QTEST_MAIN(tst_OVCommonControls)
#include "tst_OVCommonControls.moc"
