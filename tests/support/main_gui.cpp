#include <gtest/gtest.h>

#include <QApplication>

// Window tests run without a display: the platform is chosen before the
// application object exists.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
