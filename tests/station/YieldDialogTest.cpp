#include <QLabel>
#include <QTableView>

#include "StationFixture.h"
#include "station/ResultsFile.h"
#include "station/YieldDialog.h"

namespace {

QByteArray Line(const QString& slot, bool passed) {
    return QJsonDocument(QJsonObject{{"event", "result"},
                                     {"slot", slot},
                                     {"outcome", passed ? "finished" : "write_fail"},
                                     {"station_time",
                                      QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
                                     {"attempt", 1},
                                     {"duration_ms", 27000}})
        .toJson(QJsonDocument::Compact);
}

int RowOf(const QAbstractItemModel& model, const QString& slot) {
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.index(row, CSlotYieldModel::SlotColumn).data().toString() == slot) {
            return row;
        }
    }
    return -1;
}

// The view of a station's results, where one fixture fails every board.
TEST_F(StationFixture, TheYieldViewFlagsABadSlotAndFollowsTheFile) {
    const auto station = MakeStation();
    for (int board = 0; board < 5; ++board) {
        for (const char* slot : {"1-1", "1-2", "1-3"}) {
            ASSERT_EQ(AppendResultLine(ResultsPath(), Line(slot, slot != QString("1-3"))),
                      QString());
        }
    }
    CYieldDialog dialog(*station);
    dialog.show();
    auto* table = dialog.findChild<QTableView*>();
    ASSERT_NE(table, nullptr);
    const QAbstractItemModel& shown = *table->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.rowCount() == 3; }, 10000));

    const int bad = RowOf(shown, "1-3");
    ASSERT_GE(bad, 0);
    EXPECT_EQ(shown.index(bad, CSlotYieldModel::FlagColumn).data().toString(),
              "check this slot's cable or fixture");
    EXPECT_TRUE(shown.index(bad, CSlotYieldModel::SlotColumn).data(Qt::BackgroundRole).isValid());
    const int good = RowOf(shown, "1-1");
    EXPECT_TRUE(shown.index(good, CSlotYieldModel::FlagColumn).data().toString().isEmpty());

    // A run appended while the view is open shows up by itself.
    ASSERT_EQ(AppendResultLine(ResultsPath(), Line("1-4", true)), QString());
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.rowCount() == 4; }, 10000));
}

}  // namespace
