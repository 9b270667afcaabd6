#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include "DlgFixture.h"
#include "ModalWatcher.h"
#include "app/DialogUnits.h"

namespace {

// A port path that never opens.
const char* const kNoSuchPort = "/nonexistent/tovrane-port";

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
};

// Every control with an id, in tab order, with its kind and resource text.
const ExpectedControl kExpected[] = {
    {IdPortList, "QComboBox", ""},
    {IdUpdateDsp, "QPushButton", "Update DSP"},
    {IdExit, "QPushButton", "Exit"},
    {IdProgressBar, "QProgressBar", ""},
    {IdPercent, "QLabel", "0%"},  // the resource text "Static" is replaced at initialisation
    {IdLogList, "QListWidget", ""},
    {IdTotalBlocks, "QLineEdit", ""},
    {IdWrittenBlocks, "QLineEdit", ""},
    {IdElapsed, "QLineEdit", ""},
    {IdRemaining, "QLineEdit", ""},
    {IdSpeed, "QLineEdit", ""},
    {IdCurrentId, "QLineEdit", ""},
    {IdUpdateMcu, "QPushButton", "Update MCU"},
    {IdReadVersion, "QPushButton", "Read Version"},
};

QString ButtonOrLabelText(QWidget* control) {
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    return {};
}

}  // namespace

TEST_F(DlgTest, ConstructionClearsTextsAndInitialisationShowsStartValues) {
    Shared().PercentText.Set("77%");
    dlg = std::make_unique<CTovraneDlg>(NewTree().Roots());
    EXPECT_EQ(Shared().OperationMode.load(), ModeNone);
    EXPECT_EQ(Shared().PercentText.Get(), "");
    EXPECT_EQ(Text(IdPercent), "Static");

    Shared().UpdatePhase = PhaseFailed;
    dlg->show();
    EXPECT_EQ(Text(IdTotalBlocks), "0");
    EXPECT_EQ(Text(IdWrittenBlocks), "0");
    EXPECT_EQ(Text(IdElapsed), "00:00");
    EXPECT_EQ(Text(IdRemaining), "00:00");
    EXPECT_EQ(Text(IdSpeed), "0 Blocks/Sec");
    EXPECT_EQ(Text(IdPercent), "0%");
    EXPECT_EQ(LogList()->count(), 0);
    EXPECT_EQ(Shared().OperationMode.load(), ModeMcu);
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
}

TEST_F(DlgTest, ControlsHaveTheirIdsKindsTextsAndStartEnabled) {
    Open();
    EXPECT_EQ(dlg->windowTitle(), "Tovrane");
    for (const ExpectedControl& expected : kExpected) {
        SCOPED_TRACE(expected.id);
        QWidget* control = dlg->Control(expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), expected.className);
        EXPECT_EQ(control->objectName(), QString::number(expected.id));
        EXPECT_EQ(ButtonOrLabelText(control), expected.text);
        EXPECT_TRUE(control->isEnabled());
    }
    for (int id : {IdTotalBlocks, IdWrittenBlocks, IdElapsed, IdRemaining, IdSpeed}) {
        EXPECT_TRUE(qobject_cast<QLineEdit*>(dlg->Control(id))->isReadOnly()) << id;
    }
    EXPECT_TRUE(PortList()->isEditable());
    EXPECT_EQ(dlg->Control(1002), nullptr);
}

TEST_F(DlgTest, OnlyTheCurrentIdLabelAndEditAreHidden) {
    Open();
    std::set<QString> hidden;
    for (QWidget* child : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden()) {
            hidden.insert(child->objectName());
        }
    }
    EXPECT_EQ(hidden, (std::set<QString>{"1031", "static:Current ID:"}));
    const auto groups = dlg->findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 2);
}

TEST_F(DlgTest, TabOrderFollowsTheControlTable) {
    Open();
    std::vector<int> order;
    QWidget* first = dlg->Control(IdPortList);
    QWidget* widget = first;
    do {
        const bool isControl = widget->parentWidget() == dlg.get();
        if (isControl && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus)) {
            order.push_back(widget->objectName().toInt());
        }
        widget = widget->nextInFocusChain();
    } while (widget != first);
    EXPECT_EQ(order, (std::vector<int>{IdPortList, IdUpdateDsp, IdExit, IdLogList, IdTotalBlocks,
                                       IdWrittenBlocks, IdElapsed, IdRemaining, IdSpeed,
                                       IdUpdateMcu, IdReadVersion}));
}

TEST_F(DlgTest, LayoutIsTheDialogUnitTableInFixedWindow) {
    Open();
    const DialogUnits units(dlg->font());
    EXPECT_EQ(dlg->size(), units.ToPixels(QSize(369, 211)));
    EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dlg->Control(IdLogList)->geometry(), units.ToPixels(QRect(142, 85, 210, 116)));

    for (QWidget* child : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(dlg->rect().contains(child->geometry())) << child->objectName().toStdString();
    }
    // The frame drawn around the port selection must not swallow clicks on the list.
    QWidget* port = dlg->Control(IdPortList);
    QWidget* hit = dlg->childAt(port->geometry().center());
    EXPECT_TRUE(hit == port || port->isAncestorOf(hit));
}

TEST_F(DlgTest, DialogFontHasChineseGlyphs) {
    Open();
    const QFontMetrics metrics(dlg->font());
    EXPECT_TRUE(metrics.inFontUcs4(U'关'));
    EXPECT_TRUE(metrics.inFontUcs4(U'确'));
    const QString family = QFontInfo(dlg->font()).family();
    EXPECT_TRUE(family == "SimSun" || family == "WenQuanYi Micro Hei") << family.toStdString();
}

TEST_F(DlgTest, LogShowsNewestLineOnTopAndKeepsEveryLine) {
    Open();
    dlg->LogLine("A");
    dlg->LogLine("B");
    dlg->LogLine("C");
    EXPECT_EQ(LogLines(), (std::vector<QString>{"C", "B", "A"}));
    for (int i = 0; i < 3000; ++i) {
        dlg->LogLine("line " + std::to_string(i));
    }
    EXPECT_EQ(LogList()->count(), 3003);
    EXPECT_EQ(LogList()->item(0)->text(), "line 2999");
    EXPECT_EQ(LogList()->item(3002)->text(), "A");
}

TEST_F(DlgTest, PortsAreListedInSystemOrderAndTheFirstUsableIsSelected) {
    Open({"ttyS12", "ttyS3"});
    EXPECT_EQ(PortEntries(), Nodes({"ttyS3", "ttyS12"}));
    EXPECT_EQ(PortList()->currentIndex(), 0);

    Open({"ttyS12", "ttyS3", "ttyS30", "ttyUSB29", "ttyACM0"});
    EXPECT_EQ(PortEntries(), Nodes({"ttyUSB29", "ttyACM0", "ttyS3", "ttyS12", "ttyS30"}));
    EXPECT_EQ(PortList()->currentText(), QString::fromStdString(tree->Node("ttyUSB29")));

    Open({"ttyS3"}, {"/dev/pts/9"});
    std::vector<QString> expected{"/dev/pts/9"};
    expected.push_back(Nodes({"ttyS3"})[0]);
    EXPECT_EQ(PortEntries(), expected);
    EXPECT_EQ(PortList()->currentIndex(), 0);
}

TEST_F(DlgTest, EmptyListSelectsNothingAndEveryButtonReportsIt) {
    Open({});
    EXPECT_EQ(PortList()->count(), 0);
    EXPECT_EQ(PortList()->currentIndex(), -1);

    const struct {
        int button;
        int32_t mode;
    } presses[] = {
        {IdUpdateDsp, ModeDsp}, {IdUpdateMcu, ModeMcu}, {IdReadVersion, ModeReadVersion}};
    for (const auto& press : presses) {
        SCOPED_TRACE(press.button);
        QString text;
        QString caption;
        ModalWatcher watcher([&](QWidget* box) {
            text = qobject_cast<QMessageBox*>(box)->text();
            caption = box->windowTitle();
        });
        qobject_cast<QPushButton*>(dlg->Control(press.button))->click();
        EXPECT_EQ(watcher.Seen(), 1);
        EXPECT_EQ(text, "Canot find serial interface!");
        EXPECT_EQ(caption, "Tovrane");
        EXPECT_EQ(Shared().OperationMode.load(), press.mode);
        EXPECT_FALSE(dlg->Engine().Running());
        EXPECT_EQ(dlg->Engine().Port(), "");
    }
}

// Presses the button on a port that cannot open: the worker reports it in a box,
// and the buttons are usable again afterwards. The baud switch shows on a device
// (WindowRunTest).
TEST_F(DlgTest, ButtonsStartAWorkerWithTheChosenPortAndMode) {
    Open({}, {kNoSuchPort});
    const struct {
        int button;
        int32_t mode;
    } presses[] = {
        {IdReadVersion, ModeReadVersion}, {IdUpdateMcu, ModeMcu}, {IdUpdateDsp, ModeDsp}};
    for (const auto& press : presses) {
        SCOPED_TRACE(press.button);
        QString text;
        ModalWatcher watcher([&](QWidget* box) { text = qobject_cast<QMessageBox*>(box)->text(); });
        qobject_cast<QPushButton*>(dlg->Control(press.button))->click();
        EXPECT_TRUE(dlg->Engine().Running());
        EXPECT_FALSE(dlg->Control(press.button)->isEnabled());
        ASSERT_TRUE(WaitForRunEnd());
        EXPECT_EQ(watcher.Seen(), 1);
        EXPECT_EQ(text, "Cannot open serial port");
        EXPECT_EQ(dlg->Engine().Port(), kNoSuchPort);
        EXPECT_EQ(Shared().OperationMode.load(), press.mode);
        EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->Control(press.button)->isEnabled(); }));
    }
}

TEST_F(DlgTest, TypedDevicePathCountsAsTheChosenPort) {
    Open({});
    QTest::keyClicks(PortList()->lineEdit(), kNoSuchPort);
    ModalWatcher watcher([](QWidget*) {});
    dlg->OnReadVersion();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_EQ(dlg->Engine().Port(), kNoSuchPort);
    EXPECT_EQ(PortList()->count(), 0);
}

TEST_F(DlgTest, EscapeClosesTheWindow) {
    Open();
    QTest::keyClick(dlg->Control(IdPortList), Qt::Key_Escape);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(DlgTest, ExitAndTheCloseBoxCloseTheWindowAndSilenceIt) {
    Open();
    qobject_cast<QPushButton*>(dlg->Control(IdExit))->click();
    EXPECT_FALSE(dlg->isVisible());
    dlg->LogLine("late");
    EXPECT_EQ(LogList()->count(), 0);

    Open();
    dlg->close();
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(DlgTest, EnterInThePortListStartsDspUpdateAndKeepsTheWindowOpen) {
    Open({}, {kNoSuchPort});
    ModalWatcher watcher([](QWidget*) {});
    PortList()->setFocus();
    QTest::keyClick(PortList()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Shared().OperationMode.load(), ModeDsp);
    EXPECT_EQ(dlg->Engine().Port(), kNoSuchPort);
    ASSERT_TRUE(WaitForRunEnd());

    ModalWatcher second([](QWidget*) {});
    Shared().OperationMode = ModeNone;
    dlg->accept();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Shared().OperationMode.load(), ModeDsp);
    ASSERT_TRUE(WaitForRunEnd());
}

TEST_F(DlgTest, EnterWithAnotherButtonFocusedPressesThatButton) {
    Open({}, {kNoSuchPort});
    ModalWatcher watcher([](QWidget*) {});
    dlg->Control(IdReadVersion)->setFocus();
    QTest::keyClick(dlg->Control(IdReadVersion), Qt::Key_Return);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(Shared().OperationMode.load(), ModeReadVersion);
    ASSERT_TRUE(WaitForRunEnd());
}

// A tick shows the values; a press saves the controls into them before it starts.
TEST_F(DlgTest, DataExchangeFollowsTheBindingsBothWays) {
    Open({});
    Shared().TotalBlocksText.Set("1234");
    Shared().WrittenBlocksText.Set("56");
    Shared().PercentText.Set("4%");
    dlg->Display().ElapsedText = "01:02";
    dlg->Display().RemainingText = "03:04";
    dlg->Display().SpeedText = "9 Blocks/Sec";
    TickOnce(ProgramTimer);
    EXPECT_EQ(Text(IdTotalBlocks), "1234");
    EXPECT_EQ(Text(IdWrittenBlocks), "56");
    EXPECT_EQ(Text(IdPercent), "4%");
    EXPECT_EQ(Text(IdElapsed), "01:02");
    EXPECT_EQ(Text(IdRemaining), "03:04");
    EXPECT_EQ(Text(IdSpeed), "9 Blocks/Sec");
    EXPECT_EQ(Text(IdCurrentId), "");

    qobject_cast<QLineEdit*>(dlg->Control(IdSpeed))->setText("7 Blocks/Sec");
    qobject_cast<QLineEdit*>(dlg->Control(IdTotalBlocks))->setText("99");
    auto press = [this] {  // with no port listed it ends in a message box
        ModalWatcher noPort([](QWidget*) {});
        dlg->OnReadVersion();
    };
    press();
    EXPECT_EQ(dlg->Display().SpeedText, "7 Blocks/Sec");
    EXPECT_EQ(Shared().TotalBlocksText.Get(), "99");

    // The percentage holds at most five characters.
    qobject_cast<QLabel*>(dlg->Control(IdPercent))->setText("12345%");
    qobject_cast<QLineEdit*>(dlg->Control(IdWrittenBlocks))->setText("60");
    press();
    EXPECT_EQ(Shared().PercentText.Get(), "4%");
    EXPECT_EQ(Shared().WrittenBlocksText.Get(), "56");  // bound after the percentage
}

// Out of the programming phase a statistics tick only shows the bound values.
TEST_F(DlgTest, TimerTicksShowTheValuesAndRestartWithTheNewPeriod) {
    Open();
    Shared().PercentText.Set("42%");
    dlg->StartTimer(ProgramTimer, 60'000);
    dlg->StartTimer(ProgramTimer, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text(IdPercent) == "42%"; }, 2000));

    dlg->StopTimer(ProgramTimer);
    dlg->StopTimer(EraseTimer);  // never started: nothing to stop
    Shared().PercentText.Set("43%");
    QTest::qWait(100);
    EXPECT_EQ(Text(IdPercent), "42%");

    dlg->StartTimer(ProgramTimer, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Text(IdPercent) == "43%"; }, 2000));
    EXPECT_EQ(sounds, 0);
}
